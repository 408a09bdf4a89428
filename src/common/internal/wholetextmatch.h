#ifndef REVERIZ_COMMON_INTERNAL_WHOLETEXTMATCH_H
#define REVERIZ_COMMON_INTERNAL_WHOLETEXTMATCH_H

#include <QRegularExpression>
#include <QString>

// Exact-match helpers for the format checks: the whole text must match, case-sensitively.
namespace Reveriz::Internal::WholeTextMatch {

/** A compiled expression that matches only the whole text. Compiled up front so shared instances are only read. */
inline QRegularExpression expression(const QString& pattern)
{
    QRegularExpression compiled(QRegularExpression::anchoredPattern(pattern));
    compiled.optimize();
    return compiled;
}

inline bool matches(const QRegularExpression& expression, const QString& text)
{
    return expression.match(text).hasMatch();
}

} // namespace Reveriz::Internal::WholeTextMatch

#endif
