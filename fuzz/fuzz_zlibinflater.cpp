// Both inflaters (ISA-L piece by piece, libdeflate whole) against zlib: the same output for every stream zlib reads,
// and a refusal for every stream zlib refuses. The first input byte chooses whether a valid zlib header goes in front,
// so that the fuzzer mostly explores deflate data rather than header checks.

#include "common/internal/zlibinflater.h"
#include "support/reference.h"

#include <cstdint>
#include <cstdlib>

using namespace Reveriz::Internal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    QByteArray stream = (data[0] & 1) ? QByteArray("\x78\x01") : QByteArray();
    stream.append(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));

    const Reference::Inflation zlib = Reference::zlibInflate(stream, (1u << 24) - 1);
    if (zlib.beyondLimit)
        return 0; // too large to compare quickly
    const QByteArray& expected = zlib.output;

    ZlibInflater inflater(stream.constData(), static_cast<std::size_t>(stream.size()));
    QByteArray output;
    char piece[997];
    while (inflater.state() == ZlibInflater::State::Running)
        output.append(piece, static_cast<qsizetype>(inflater.read(piece, sizeof piece)));
    const bool inflaterReads = inflater.state() == ZlibInflater::State::Finished;
    if (zlib.finished != inflaterReads || (zlib.finished && output != expected))
        std::abort();

    // The whole-buffer inflation, first with too little room when there is output, then with enough.
    const auto room = static_cast<std::size_t>(expected.size());
    QByteArray whole(expected.size() + 1, '\0');
    if (room > 0) {
        const WholeInflation tight =
            inflateWhole(stream.constData(), static_cast<std::size_t>(stream.size()), whole.data(), room - 1);
        if (zlib.finished && tight.result != WholeInflation::Result::NeedsMoreRoom)
            std::abort();
    }
    const WholeInflation inflation =
        inflateWhole(stream.constData(), static_cast<std::size_t>(stream.size()), whole.data(), room + 1);
    const bool wholeReads = inflation.result == WholeInflation::Result::Finished;
    if (zlib.finished != wholeReads || (wholeReads && whole.left(static_cast<qsizetype>(inflation.size)) != expected))
        std::abort();
    return 0;
}
