#include "qtprinters.h"

#include <ostream>

void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    constexpr qsizetype shown = 64;
    *os << bytes.size() << " bytes: " << bytes.left(shown).toHex(' ').constData();
    if (bytes.size() > shown)
        *os << " ...";
}
