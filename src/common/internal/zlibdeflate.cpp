#include "zlibdeflate.h"

#include <cstdint>
#include <isa-l/igzip_lib.h>
#include <limits>
#include <memory>

namespace Reveriz::Internal::ZlibDeflate {

namespace {

// The zlib header (2 bytes) and Adler-32 trailer (4 bytes) around the deflate data.
constexpr std::size_t wrapperSize = 6;

} // namespace

std::size_t bound(std::size_t size)
{
    // Incompressible input goes into stored blocks: five bytes for every 64 KiB or part of it, and the
    // compressor may try a Huffman block header of its own before it falls back to them.
    return size + 5 * (size / 65535 + 1) + ISAL_DEF_MAX_HDR_SIZE + wrapperSize + 64;
}

std::size_t compress(const char* data, std::size_t size, char* out)
{
    if (size >= std::numeric_limits<std::uint32_t>::max())
        return 0;
    // The level buffer is large; each thread keeps its own.
    static thread_local std::unique_ptr<std::uint8_t[]> levelBuffer(new std::uint8_t[ISAL_DEF_LVL1_DEFAULT]);
    isal_zstream stream;
    isal_deflate_stateless_init(&stream);
    stream.level = 1;
    stream.level_buf = levelBuffer.get();
    stream.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
    stream.gzip_flag = IGZIP_ZLIB;
    stream.end_of_stream = 1;
    stream.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(data));
    stream.avail_in = static_cast<std::uint32_t>(size);
    stream.next_out = reinterpret_cast<std::uint8_t*>(out);
    const std::size_t room = bound(size);
    stream.avail_out =
        static_cast<std::uint32_t>(std::min<std::size_t>(room, std::numeric_limits<std::uint32_t>::max()));
    if (isal_deflate_stateless(&stream) != COMP_OK)
        return 0;
    return stream.total_out;
}

} // namespace Reveriz::Internal::ZlibDeflate
