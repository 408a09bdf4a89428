#include "typechecks.h"

#include "common/internal/wholetextmatch.h"

using Reveriz::Internal::WholeTextMatch::expression;
using Reveriz::Internal::WholeTextMatch::matches;

namespace TypeChecks {

bool isSHA1(QString text)
{
    static const QRegularExpression sha1 = expression(QStringLiteral("[0-9a-f]{40}"));
    return matches(sha1, text);
}

bool isUUID(QString text)
{
    static const QRegularExpression uuid =
        expression(QStringLiteral("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}"));
    return matches(uuid, text);
}

bool isBase64(QString text)
{
    static const QRegularExpression base64 = expression(QStringLiteral("[a-zA-Z0-9/+]*=*"));
    return matches(base64, text);
}

bool isPEM(QString type, QString text)
{
    const QString pattern = QLatin1String("-----BEGIN ") + type + QLatin1String("-----[\na-zA-Z0-9/+]*=*\n-----END ")
        + type + QLatin1String("-----\n");
    // Built per call from its label, so it is not worth compiling ahead; a label that is no valid pattern
    // accepts nothing.
    const QRegularExpression pem(QRegularExpression::anchoredPattern(pattern));
    return pem.isValid() && matches(pem, text);
}

} // namespace TypeChecks
