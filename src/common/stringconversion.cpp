#include "stringconversion.h"

#include <cstring>

namespace StringConversion {

QString fromStdString(const std::string& s)
{
    return QString::fromUtf8(s.c_str(), static_cast<qsizetype>(std::strlen(s.c_str())));
}

std::string toStdString(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), std::strlen(utf8.constData()));
}

} // namespace StringConversion
