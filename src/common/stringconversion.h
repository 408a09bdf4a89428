#ifndef REVERIZ_COMMON_STRINGCONVERSION_H
#define REVERIZ_COMMON_STRINGCONVERSION_H

#include <QString>

#include <string>

// Text crosses into and out of the JSON library as UTF-8 std::string.
namespace StringConversion {

/** Decodes the UTF-8 bytes of s up to, not including, the first zero byte. */
QString fromStdString(const std::string& s);

/** Encodes text as UTF-8; a U+0000 character cuts the result before it. */
std::string toStdString(const QString& text);

} // namespace StringConversion

#endif
