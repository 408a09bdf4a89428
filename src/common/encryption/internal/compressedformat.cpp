#include "compressedformat.h"

#include "common/encryption/internal/encryptionnames.h"
#include "common/exceptions/reverizexception.h"
#include "common/internal/zlibdeflate.h"
#include "common/internal/zlibinflater.h"

#include <QtEndian>

#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>

namespace Reveriz::Internal::CompressedFormat {

namespace {

// The 4-byte big-endian length in front of the zlib stream.
constexpr qsizetype headerSize = 4;

[[noreturn]] void corrupted(const char* reason, const QString& sourceFile, int sourceLine)
{
    throw DecryptionFailedException(Context::reverizKey, QString::fromLatin1(reason), sourceFile, sourceLine);
}

quint64 limitInBytes(quint64 limitMiB)
{
    // Any limit from 2^44 MiB on admits every size; this keeps the product in 64 bits.
    return limitMiB >= (quint64(1) << 44) ? std::numeric_limits<quint64>::max() : limitMiB << 20;
}

quint32 announcedSize(QByteArrayView compressed)
{
    return std::max<quint32>(qFromBigEndian<quint32>(compressed.data()), 1);
}

} // namespace

QByteArray compress(QByteArrayView data)
{
    if (data.isEmpty())
        return QByteArray(headerSize, '\0');
    QByteArray compressed(headerSize
                              + static_cast<qsizetype>(ZlibDeflate::bound(static_cast<std::size_t>(data.size()))),
                          Qt::Uninitialized);
    const std::size_t streamSize =
        ZlibDeflate::compress(data.data(), static_cast<std::size_t>(data.size()), compressed.data() + headerSize);
    if (streamSize == 0)
        throw std::length_error("CompressedFormat::compress: data too large for one stream");
    qToBigEndian(static_cast<quint32>(data.size()), compressed.data());
    compressed.truncate(headerSize + static_cast<qsizetype>(streamSize));
    return compressed;
}

// Runs before any memory is reserved for the uncompressed data, so a forged header cannot make the decompressor
// reserve gigabytes.
void dataUncompressSanityCheck(QByteArrayView compressed, quint64 limitMiB)
{
    if (compressed.size() <= headerSize)
        corrupted(Details::compressedDataTooSmall, REVERIZ_HERE);
    if (limitInBytes(limitMiB) < announcedSize(compressed))
        corrupted(Details::invalidCompressedSize, REVERIZ_HERE);
}

// Unlike qUncompress, a stream that does not decode is an error rather than an empty result. The announced size
// is only where the output starts: peers' data whose header is off still decodes, as the output grows, but never
// beyond the limit.
QByteArray uncompress(QByteArrayView compressed, quint64 limitMiB)
{
    QByteArray output;
    output.truncate(uncompressInto(compressed, limitMiB, output));
    output.squeeze();
    return output;
}

qsizetype uncompressInto(QByteArrayView compressed, quint64 limitMiB, QByteArray& buffer)
{
    const QByteArrayView stream = compressed.sliced(headerSize);
    // One byte of room beyond the limit tells a stream of exactly the limit, which is accepted, from a longer one.
    const quint64 capacityLimit =
        std::min(limitInBytes(limitMiB), static_cast<quint64>(std::numeric_limits<qsizetype>::max() / 2)) + 1;

    // The announced size is where the output starts, not where it must end: a stream that does not fit is
    // inflated again into twice the room, up to the limit. Nor is more reserved than the stream can inflate to
    // (deflate makes at most 1032 bytes of each byte), so a forged header on little data reserves little.
    constexpr quint64 deflateMaximumRatio = 1032;
    const quint64 possible = static_cast<quint64>(stream.size()) * deflateMaximumRatio + 1;
    const auto announced =
        static_cast<qsizetype>(std::min({static_cast<quint64>(announcedSize(compressed)), possible, capacityLimit}));
    if (buffer.size() < announced)
        buffer.resize(announced);
    for (;;) {
        const WholeInflation inflation = inflateWhole(stream.data(), static_cast<std::size_t>(stream.size()),
                                                      buffer.data(), static_cast<std::size_t>(buffer.size()));
        switch (inflation.result) {
        case WholeInflation::Result::Finished:
            if (inflation.size >= capacityLimit)
                corrupted(Details::invalidCompressedSize, REVERIZ_HERE);
            return static_cast<qsizetype>(inflation.size);
        case WholeInflation::Result::Corrupt:
            corrupted(Details::decompressionFailed, REVERIZ_HERE);
        case WholeInflation::Result::NeedsMoreRoom:
            if (static_cast<quint64>(buffer.size()) >= capacityLimit)
                corrupted(Details::invalidCompressedSize, REVERIZ_HERE);
            const quint64 grown = std::max<quint64>(static_cast<quint64>(buffer.size()) * 2, quint64(64) * 1024);
            buffer.resize(static_cast<qsizetype>(std::min(grown, capacityLimit)));
            break;
        }
    }
}

bool uncompressTo(QByteArrayView compressed, quint64 limitMiB, const Sink& sink, StreamCheck check)
{
    if (check == StreamCheck::BeforeWriting) {
        // A first pass that keeps nothing throws for every stream that is not sound.
        (void)uncompressTo(compressed, limitMiB, [](const char*, std::size_t) { return true; });
    }
    // Big enough to keep the per-call costs small, small enough to stay in the caches.
    constexpr std::size_t pieceSize = std::size_t(1) << 20;
    const QByteArrayView stream = compressed.sliced(headerSize);
    const quint64 maximumSize = limitInBytes(limitMiB);
    ZlibInflater inflater(stream.data(), static_cast<std::size_t>(stream.size()));

    static thread_local std::unique_ptr<char[]> piece(new char[pieceSize]);
    quint64 produced = 0;
    while (inflater.state() == ZlibInflater::State::Running) {
        // One byte more than the limit allows shows a stream that grows beyond it, as the growing buffer does.
        const std::size_t room = static_cast<std::size_t>(std::min<quint64>(pieceSize, maximumSize - produced + 1));
        const std::size_t size = inflater.read(piece.get(), room);
        produced += size;
        if (produced > maximumSize)
            corrupted(Details::invalidCompressedSize, REVERIZ_HERE);
        if (size > 0 && !sink(piece.get(), size))
            return false;
    }
    if (inflater.state() == ZlibInflater::State::Corrupt)
        corrupted(Details::decompressionFailed, REVERIZ_HERE);
    return true;
}

} // namespace Reveriz::Internal::CompressedFormat
