#ifndef REVERIZ_COMMON_INTERNAL_BASE64_H
#define REVERIZ_COMMON_INTERNAL_BASE64_H

#include <cstddef>

// Base64 of the standard alphabet, read leniently. QByteArray::fromBase64 gives the same bytes but is about 25 times
// slower on the 19 MiB of log data of a large log file, which alone would put the decrypt command past its time
// target (README, Performance); and it needs a second buffer, while this decodes in place.
namespace Reveriz::Internal::Base64 {

/**
 * Decodes the Base64 text [text, text + size) into out and returns the number of bytes written: exactly what
 * QByteArray::fromBase64 gives for it. Characters outside the alphabet ("=" included) are skipped wherever they
 * stand, and bits left over at the end are dropped. out may be text itself (decoding in place); otherwise it
 * must hold size * 3 / 4 bytes.
 */
std::size_t decodeLenient(const char* text, std::size_t size, char* out);

/** The number of bytes decodeLenient writes for the text [text, text + size), counted without decoding it. */
std::size_t decodedSize(const char* text, std::size_t size);

} // namespace Reveriz::Internal::Base64

#endif
