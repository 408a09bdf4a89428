#ifndef REVERIZ_COMMON_STRINGCONVERSION_H
#define REVERIZ_COMMON_STRINGCONVERSION_H

/**
 * @file
 * StringConversion, text between QString, std::string and the command line.
 */

#include "common/reverizexport.h"

#include <QString>

#include <string>

/** Text crosses into and out of the JSON library as UTF-8 std::string. */
namespace StringConversion {

/** Decodes the UTF-8 bytes of s up to, not including, the first zero byte. */
REVERIZ_EXPORT QString fromStdString(const std::string& s);

/** Encodes text as UTF-8; a U+0000 character cuts the result before it. */
REVERIZ_EXPORT std::string toStdString(const QString& text);

/**
 * Decodes a command-line argument (a file name, say) from UTF-8. Each byte that is not part of a valid UTF-8
 * sequence becomes a lone surrogate (U+DC80 to U+DCFF), so such text is never valid UTF-16 (isValidUtf16) and
 * never names another file by mistake: the file functions refuse it.
 */
REVERIZ_EXPORT QString fromCommandLine(const char* argument);

} // namespace StringConversion

#endif
