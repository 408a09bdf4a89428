#include "common/encryption/internal/compressedformat.h"
#include "common/encryption/reverizkey.h"
#include "support/exceptionmatchers.h"
#include "support/qtprinters.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <variant>

using namespace Reveriz::Internal;

namespace {

// What a reading gave: the bytes, or the details of its DecryptionFailedException.
using Outcome = std::variant<QByteArray, QString>;

Outcome outcomeOf(const std::function<QByteArray()>& read)
{
    try {
        return read();
    } catch (const DecryptionFailedException& e) {
        return e.details();
    }
}

QByteArray streamed(QByteArrayView compressed, quint64 limitMiB, std::size_t stopAfter = SIZE_MAX)
{
    QByteArray output;
    std::size_t pieces = 0;
    const bool finished = CompressedFormat::uncompressTo(compressed, limitMiB, [&](const char* data, std::size_t size) {
        output.append(data, static_cast<qsizetype>(size));
        return ++pieces < stopAfter;
    });
    return finished ? output : QByteArray("<stopped>");
}

QByteArray announcing(quint32 announced, const QByteArray& data)
{
    QByteArray compressed = qCompress(data, 1);
    qToBigEndian(announced, compressed.data());
    return compressed;
}

TEST(CompressedFormat, StreamingReadsExactlyWhatTheWholeBufferReadingReads)
{
    const QByteArray mebibyte(1 << 20, 'z');
    const QByteArray good = qCompress(QByteArray("log line\n").repeated(5000), 1);
    const struct
    {
        const char* name;
        QByteArray compressed;
        Outcome expected;
    } rows[] = {
        {"exactly_the_limit", announcing(1 << 20, mebibyte), mebibyte},
        {"exactly_the_limit_announced_small", announcing(1, mebibyte), mebibyte},
        {"one_byte_beyond", announcing(1, mebibyte + 'z'), QStringLiteral("data corrupted (invalid compressed size)")},
        {"announced_beyond", announcing((1 << 20) + 1, "x"),
         QStringLiteral("data corrupted (invalid compressed size)")},
        {"ordinary", good, QByteArray("log line\n").repeated(5000)},
        // qCompress makes nothing of no data; a peer may still store a stream of no bytes.
        {"empty_content", QByteArray("\0\0\0\0\x78\x01\x03\x00\x00\x00\x00\x01", 12), QByteArray()},
        {"cut_short", good.chopped(5), QStringLiteral("data corrupted (decompression failed)")},
        {"trailing_bytes", good + "junk", QByteArray("log line\n").repeated(5000)},
        {"not_zlib", QByteArray("\0\0\0\5hello", 9), QStringLiteral("data corrupted (decompression failed)")},
        {"four_bytes", QByteArray(4, '\1'), QStringLiteral("data corrupted (compressed data too small)")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto whole = [&] {
            CompressedFormat::dataUncompressSanityCheck(row.compressed, 1);
            return CompressedFormat::uncompress(row.compressed, 1);
        };
        const auto pieces = [&] {
            CompressedFormat::dataUncompressSanityCheck(row.compressed, 1);
            return streamed(row.compressed, 1);
        };
        EXPECT_EQ(outcomeOf(whole), row.expected);
        EXPECT_EQ(outcomeOf(pieces), row.expected);
    }
}

TEST(CompressedFormat, ASinkCanStopTheStream)
{
    const QByteArray data = QByteArray(3 << 20, 'a');
    EXPECT_EQ(streamed(qCompress(data, 1), 128, 1), QByteArray("<stopped>"));
    EXPECT_EQ(streamed(qCompress(data, 1), 128), data);
}

std::shared_ptr<ReverizKey> key(const char* cipher, char fill, unsigned int length, bool fixedIvec)
{
    return std::make_shared<ReverizKey>(ReverizKeyIdentifier::createSessionKeyIdentifier(),
                                        QByteArray(static_cast<qsizetype>(length), fill), QString::fromLatin1(cipher),
                                        length, fixedIvec);
}

Outcome decryptedInPlace(const ReverizKey& key, QByteArray data)
{
    return outcomeOf([&] {
        QByteArray output;
        const bool finished = key.decryptDataInPlace(data.data(), data.size(), [&](const char* piece, std::size_t n) {
            output.append(piece, static_cast<qsizetype>(n));
            return true;
        });
        EXPECT_TRUE(finished);
        return output;
    });
}

TEST(CompressedFormat, DecryptingInPlaceMatchesDecryptData)
{
    const auto aes = key("aes-128-cbc", 'a', 16, false);
    const auto bf = key("bf-cbc", 'b', 1024, true);
    QByteArray log;
    for (int i = 0; log.size() < (3 << 20); ++i)
        log += "2026-12-08 10:00:00 INFO block " + QByteArray::number(i * 7919) + "\n";
    const QByteArray encrypted = aes->encryptData(log);
    QByteArray flipped = encrypted;
    flipped[encrypted.size() / 2] = static_cast<char>(flipped.at(encrypted.size() / 2) ^ 1);

    const struct
    {
        const char* name;
        std::shared_ptr<ReverizKey> key;
        QByteArray data;
    } rows[] = {
        {"empty", aes, QByteArray()},
        {"one_byte_aes", aes, aes->encryptData("x")},
        {"log_aes", aes, encrypted},
        {"log_bf_fixed_vector", bf, bf->encryptData(log)},
        {"shorter_than_the_vector", aes, encrypted.left(15)},
        {"vector_only", aes, encrypted.left(16)},
        {"one_byte_short", aes, encrypted.chopped(1)},
        {"flipped_byte", aes, flipped},
        {"wrong_key", key("aes-128-cbc", 'c', 16, false), encrypted},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(decryptedInPlace(*row.key, row.data), outcomeOf([&] { return row.key->decryptData(row.data); }));
    }
}

} // namespace
