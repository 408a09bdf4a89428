#include "zlibinflater.h"

#include <algorithm>
#include <cstdint>
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <limits>
#include <new>

namespace Reveriz::Internal {

// ISA-L decodes deflate at about twice zlib's speed and checks the zlib wrapper itself.
struct ZlibInflater::Stream
{
    inflate_state state;
};

namespace {

// The two header bytes by zlib's own rules, which are stricter than ISA-L's: deflate with a window of at most
// 32 KiB, the check bits right, and no preset dictionary.
bool acceptableHeader(const char* data, std::size_t size)
{
    if (size < 2)
        return false;
    const unsigned method = static_cast<unsigned char>(data[0]);
    const unsigned flags = static_cast<unsigned char>(data[1]);
    const bool deflate = (method & 0x0f) == 8;
    const bool window = (method >> 4) <= 7;
    const bool check = ((method << 8) | flags) % 31 == 0;
    const bool presetDictionary = (flags & 0x20) != 0;
    return deflate && window && check && !presetDictionary;
}

} // namespace

ZlibInflater::ZlibInflater(const char* data, std::size_t size)
    : m_stream(std::make_unique<Stream>())
{
    isal_inflate_init(&m_stream->state);
    m_stream->state.crc_flag = ISAL_ZLIB;
    m_stream->state.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(data));
    if (!acceptableHeader(data, size) || size > std::numeric_limits<std::uint32_t>::max())
        m_state = State::Corrupt; // the latter beyond what any stream of this system holds
    m_stream->state.avail_in = static_cast<std::uint32_t>(std::min<std::size_t>(size, UINT32_MAX));
}

ZlibInflater::~ZlibInflater() = default;

std::size_t ZlibInflater::read(char* out, std::size_t capacity)
{
    if (m_state != State::Running || capacity == 0)
        return 0;
    inflate_state& state = m_stream->state;
    state.next_out = reinterpret_cast<std::uint8_t*>(out);
    state.avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, UINT32_MAX));
    const std::uint32_t room = state.avail_out;
    const int result = isal_inflate(&state);
    const std::size_t produced = room - state.avail_out;
    if (result != ISAL_DECOMP_OK) {
        // Errors, and a stream that needs a preset dictionary.
        m_state = State::Corrupt;
        return 0;
    }
    if (state.block_state == ISAL_BLOCK_FINISH) {
        m_state = State::Finished;
    } else if (produced == 0 && state.avail_out > 0) {
        // Room left and nothing came: the input ended before the stream did.
        m_state = State::Corrupt;
        return 0;
    }
    return produced;
}

WholeInflation inflateWhole(const char* data, std::size_t size, char* out, std::size_t capacity)
{
    using Result = WholeInflation::Result;
    if (!acceptableHeader(data, size))
        return {Result::Corrupt, 0};
    // libdeflate decodes whole buffers at about four times zlib's speed; each thread keeps its decompressor.
    static thread_local const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> decompressor(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    if (!decompressor)
        throw std::bad_alloc();
    std::size_t read = 0;
    std::size_t written = 0;
    // Asking for the bytes read lets bytes after the stream's end be, as zlib does.
    switch (libdeflate_zlib_decompress_ex(decompressor.get(), data, size, out, capacity, &read, &written)) {
    case LIBDEFLATE_SUCCESS:
        return {Result::Finished, written};
    case LIBDEFLATE_INSUFFICIENT_SPACE:
        return {Result::NeedsMoreRoom, 0};
    case LIBDEFLATE_BAD_DATA:
    case LIBDEFLATE_SHORT_OUTPUT:
        break;
    }
    return {Result::Corrupt, 0};
}

} // namespace Reveriz::Internal
