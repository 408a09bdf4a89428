// Both inflaters (ISA-L piece by piece, libdeflate whole) against zlib: the same output for every stream zlib reads,
// and a refusal for every stream zlib refuses. The first input byte chooses whether a valid zlib header goes in front,
// so that the fuzzer mostly explores deflate data rather than header checks.

#include "common/zlibinflater.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <zlib.h>

namespace {

bool zlibInflate(const std::string& stream, std::string& output)
{
    z_stream z {};
    if (inflateInit(&z) != Z_OK)
        std::abort();
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    char chunk[4096];
    int result = Z_OK;
    do {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        result = inflate(&z, Z_NO_FLUSH);
        output.append(chunk, sizeof chunk - z.avail_out);
    } while (result == Z_OK && (z.avail_in > 0 || z.avail_out == 0) && output.size() < (1u << 24));
    inflateEnd(&z);
    return result == Z_STREAM_END;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::string stream = (data[0] & 1) ? std::string("\x78\x01") : std::string();
    stream.append(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::string expected;
    const bool zlibReads = zlibInflate(stream, expected);
    if (expected.size() >= (1u << 24))
        return 0; // too large to compare quickly

    ZlibInflater inflater(stream.data(), stream.size());
    std::string output;
    char piece[997];
    while (inflater.state() == ZlibInflater::State::Running)
        output.append(piece, inflater.read(piece, sizeof piece));
    const bool inflaterReads = inflater.state() == ZlibInflater::State::Finished;
    if (zlibReads != inflaterReads || (zlibReads && output != expected))
        std::abort();

    // The whole-buffer inflation, first with too little room when there is output, then with enough.
    std::string whole(expected.size() + 1, '\0');
    if (!expected.empty()) {
        const WholeInflation tight = inflateWhole(stream.data(), stream.size(), whole.data(), expected.size() - 1);
        if (zlibReads && tight.result != WholeInflation::Result::NeedsMoreRoom)
            std::abort();
    }
    const WholeInflation inflation = inflateWhole(stream.data(), stream.size(), whole.data(), whole.size());
    const bool wholeReads = inflation.result == WholeInflation::Result::Finished;
    if (zlibReads != wholeReads || (wholeReads && whole.substr(0, inflation.size) != expected))
        std::abort();
    return 0;
}
