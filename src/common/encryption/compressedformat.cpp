#include "compressedformat.h"

#include "common/exceptions/reverizexception.h"

#include <QtEndian>

#include <algorithm>
#include <limits>
#include <zlib.h>

namespace CompressedFormat {

namespace {

// The 4-byte big-endian length in front of the zlib stream.
constexpr qsizetype headerSize = 4;

[[noreturn]] void corrupted(const char* reason, const QString& sourceFile, int sourceLine)
{
    throw DecryptionFailedException(QStringLiteral("ReverizKey"), QString::fromLatin1(reason), sourceFile, sourceLine);
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

class InflateStream
{
public:
    InflateStream() { m_initialised = inflateInit(&m_stream) == Z_OK; }
    ~InflateStream()
    {
        if (m_initialised)
            inflateEnd(&m_stream);
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    bool initialised() const { return m_initialised; }
    z_stream* get() { return &m_stream; }

private:
    z_stream m_stream {};
    bool m_initialised = false;
};

} // namespace

// Runs before any memory is reserved for the uncompressed data, so a forged header cannot make the decompressor
// reserve gigabytes.
void dataUncompressSanityCheck(QByteArrayView compressed, quint64 limitMiB)
{
    if (compressed.size() <= headerSize)
        corrupted("data corrupted (compressed data too small)", REVERIZ_HERE);
    if (limitInBytes(limitMiB) < announcedSize(compressed))
        corrupted("data corrupted (invalid compressed size)", REVERIZ_HERE);
}

// Unlike qUncompress, a stream that does not decode is an error rather than an empty result. The announced size
// is only where the output starts: peers' data whose header is off still decodes, as the output grows, but never
// beyond the limit.
QByteArray uncompress(QByteArrayView compressed, quint64 limitMiB)
{
    const QByteArrayView stream = compressed.sliced(headerSize);
    const quint64 maximumSize =
        std::min(limitInBytes(limitMiB), static_cast<quint64>(std::numeric_limits<qsizetype>::max() / 2));
    InflateStream inflater;
    if (!inflater.initialised() || static_cast<quint64>(stream.size()) > std::numeric_limits<uInt>::max())
        corrupted("data corrupted (decompression failed)", REVERIZ_HERE);
    z_stream* z = inflater.get();
    z->next_in = const_cast<Bytef*>(reinterpret_cast<const Bytef*>(stream.data()));
    z->avail_in = static_cast<uInt>(stream.size());

    QByteArray output(static_cast<qsizetype>(announcedSize(compressed)), Qt::Uninitialized);
    qsizetype produced = 0;
    for (;;) {
        if (produced == output.size()) {
            if (static_cast<quint64>(output.size()) >= maximumSize)
                corrupted("data corrupted (invalid compressed size)", REVERIZ_HERE);
            const quint64 grown = std::max<quint64>(static_cast<quint64>(output.size()) * 2, quint64(64) * 1024);
            output.resize(static_cast<qsizetype>(std::min(grown, maximumSize)));
        }
        const auto room =
            static_cast<uInt>(std::min<qsizetype>(output.size() - produced, std::numeric_limits<uInt>::max()));
        z->next_out = reinterpret_cast<Bytef*>(output.data() + produced);
        z->avail_out = room;
        const int result = inflate(z, Z_NO_FLUSH);
        produced += room - z->avail_out;
        if (result == Z_STREAM_END)
            break;
        // Z_BUF_ERROR with room left means the input ended before the stream did.
        const bool needsRoom = result == Z_BUF_ERROR && z->avail_out == 0;
        if (result != Z_OK && !needsRoom)
            corrupted("data corrupted (decompression failed)", REVERIZ_HERE);
    }
    output.truncate(produced);
    output.squeeze();
    return output;
}

} // namespace CompressedFormat
