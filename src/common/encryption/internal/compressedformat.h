#ifndef REVERIZ_COMMON_ENCRYPTION_INTERNAL_COMPRESSEDFORMAT_H
#define REVERIZ_COMMON_ENCRYPTION_INTERNAL_COMPRESSEDFORMAT_H

#include "common/encryption/reverizkey.h"

#include <QByteArray>
#include <QByteArrayView>

// qCompress's format (a 4-byte big-endian length, then a zlib stream), written and read for ReverizKey's data and
// block encryption. Streams are written by ZlibDeflate and inflated by ZlibInflater, which reads what zlib reads.
// Internal to the encryption layer; failures throw DecryptionFailedException reported by "ReverizKey".
namespace Reveriz::Internal::CompressedFormat {

/**
 * The format of data: its length as 4 bytes big-endian, then its zlib stream, compressed at the fastest level.
 * The bytes differ from qCompress's, but qUncompress and every zlib read them. No data gives 4 zero bytes, as
 * with qCompress.
 */
[[nodiscard]] QByteArray compress(QByteArrayView data);

/**
 * Throws unless compressed can be qCompress output of at most limitMiB mebibytes: "data corrupted (compressed
 * data too small)" for 4 bytes or fewer, "data corrupted (invalid compressed size)" for a larger announced size.
 */
void dataUncompressSanityCheck(QByteArrayView compressed, quint64 limitMiB);

/**
 * Inflates checked data. A stream that does not decode throws "data corrupted (decompression failed)"; one that
 * grows beyond limitMiB throws "data corrupted (invalid compressed size)".
 */
[[nodiscard]] QByteArray uncompress(QByteArrayView compressed, quint64 limitMiB);

/**
 * uncompress into buffer, reusing its memory (it grows when too small and never shrinks); returns the number of
 * uncompressed bytes at its start. For callers that inflate one block after another.
 */
[[nodiscard]] qsizetype uncompressInto(QByteArrayView compressed, quint64 limitMiB, QByteArray& buffer);

/**
 * Inflates checked data like uncompress, with the same failures, but hands the output to sink in pieces of a
 * fixed buffer instead of holding all of it. Returns false when sink stopped it. With StreamCheck::WhileWriting
 * sink may have taken part of the output when this throws.
 */
[[nodiscard]] bool uncompressTo(QByteArrayView compressed, quint64 limitMiB, const Sink& sink,
                                StreamCheck check = StreamCheck::WhileWriting);

} // namespace Reveriz::Internal::CompressedFormat

#endif
