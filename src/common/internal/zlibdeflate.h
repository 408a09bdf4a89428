#ifndef REVERIZ_COMMON_INTERNAL_ZLIBDEFLATE_H
#define REVERIZ_COMMON_INTERNAL_ZLIBDEFLATE_H

#include <cstddef>

// Fast zlib streams (RFC 1950) for data that is compressed once and read by any zlib.
namespace Reveriz::Internal::ZlibDeflate {

/** Room for the stream of size input bytes, whatever they are. */
std::size_t bound(std::size_t size);

/**
 * Writes the zlib stream of [data, data + size) to out, which holds bound(size) bytes, and returns its length:
 * deflate at the fastest level (ISA-L's level 1, several times faster than zlib's), read by zlib as any other
 * stream. Returns 0 only when the input is too large for one stream of this kind (4 GiB and more).
 */
std::size_t compress(const char* data, std::size_t size, char* out);

} // namespace Reveriz::Internal::ZlibDeflate

#endif
