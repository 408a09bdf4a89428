#include "common/encryption/internal/symmetriccipher.h"
#include "common/encryption/reverizkey.h"
#include "support/exceptionmatchers.h"
#include "support/qtprinters.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

using namespace Reveriz::Internal;

namespace {

// Compressible, but not trivially: words from a small vocabulary.
QByteArray text(qsizetype size)
{
    const QByteArray words[] = {"block ", "key ", "package ", "vector\n", "cipher, "};
    std::mt19937 generator(7); // NOLINT(cert-msc32-c,cert-msc51-cpp): the same text on every run
    QByteArray result;
    while (result.size() < size)
        result += words[generator() % std::size(words)];
    return result.left(size);
}

std::shared_ptr<ReverizKey> key(const char* cipher, const QByteArray& bytes, unsigned int length, bool fixedIvec)
{
    return std::make_shared<ReverizKey>(ReverizKeyIdentifier::createSessionKeyIdentifier(), bytes, cipher, length,
                                        fixedIvec);
}

const auto aesKey = [] {
    return key("aes-128-cbc", QByteArray::fromHex("2b7e151628aed2a6abf7158809cf4f3c"), 16, false);
};
const auto bfRandomKey = [] {
    return key("bf-cbc", QByteArray::fromHex("0123456789abcdeff0e1d2c3b4a59687"), 16, false);
};
const auto bfKey = [](const QByteArray& bytes = QByteArray(1024, 'k')) { return key("bf-cbc", bytes, 1024, true); };

// What decryptData makes of qCompress's layout with a chosen announced length in front of stream, encrypted with
// the AES test key: data the library would not make itself.
QByteArray decryptCrafted(quint32 announced, const QByteArray& stream)
{
    QByteArray plain(4, '\0');
    qToBigEndian(announced, plain.data());
    plain += stream;
    const QByteArray ivec(16, 'v');
    QByteArray encrypted;
    encrypted.truncate(SymmetricCipher::run(SymmetricCipher::Direction::Encrypt, "aes-128-cbc", aesKey()->key(), ivec,
                                            plain, encrypted, 0));
    return aesKey()->decryptData(ivec + encrypted);
}

// The zlib stream of qCompress's layout.
QByteArray zlib(const QByteArray& data)
{
    return qCompress(data).mid(4);
}

TEST(EncryptedData, RoundTripsForEveryCipherAndVectorMode)
{
    const QByteArray inputs[] = {QByteArray(), "x", text(15), text(16), QByteArray(17, '\0'), text(3 << 20)};
    for (const auto& k : {aesKey(), bfRandomKey(), bfKey()}) {
        for (const QByteArray& input : inputs) {
            SCOPED_TRACE(::testing::Message() << k->cipherName().toStdString() << " fixed " << k->fixedIvec() << " "
                                              << input.size() << " bytes");
            const QByteArray encrypted = k->encryptData(input);
            EXPECT_EQ(encrypted.isEmpty(), input.isEmpty());
            EXPECT_EQ(k->decryptData(encrypted), input);
        }
    }
    // Empty data is passed through before the cipher is looked at.
    const auto unusable = key("no-such-cipher", QByteArray(), 0, false);
    EXPECT_EQ(unusable->encryptData(QByteArray()), QByteArray());
    EXPECT_EQ(unusable->decryptData(QByteArray()), QByteArray());
}

TEST(EncryptedData, OutputSizesVectorsAndKeyBytes)
{
    for (const qsizetype size : {1, 100000}) {
        SCOPED_TRACE(size);
        // A random vector is drawn each time and stored in front: 16 + 16k bytes for AES.
        const QByteArray first = aesKey()->encryptData(text(size));
        EXPECT_GE(first.size(), 32);
        EXPECT_EQ(first.size() % 16, 0);
        EXPECT_NE(first.left(16), aesKey()->encryptData(text(size)).left(16));
        // The fixed vector makes the output repeatable.
        const QByteArray fixed = bfKey()->encryptData(text(size));
        EXPECT_EQ(fixed.size() % 8, 0);
        EXPECT_EQ(bfKey()->encryptData(text(size)), fixed);
    }
    // All keyLengthInBytes of the vector are stored, but "bf-cbc" reads only the first 8.
    QByteArray encrypted = bfRandomKey()->encryptData("some log lines");
    EXPECT_EQ(encrypted.size() % 8, 0);
    for (int i = 8; i < 16; ++i)
        encrypted[i] = static_cast<char>(~encrypted[i]);
    EXPECT_EQ(bfRandomKey()->decryptData(encrypted), "some log lines");
    // Blowfish keys are used as their first 16 bytes.
    QByteArray sameStart(1024, 'z');
    sameStart.replace(0, 16, QByteArray(16, 'k'));
    QByteArray otherByte15(1024, 'k');
    otherByte15[15] = 'j';
    const QByteArray bf = bfKey()->encryptData(text(5000));
    EXPECT_EQ(bfKey(sameStart)->encryptData(text(5000)), bf);
    EXPECT_NE(bfKey(otherByte15)->encryptData(text(5000)), bf);
}

TEST(EncryptedData, EveryFailureHasItsMessage)
{
    const std::pair<const char*, std::shared_ptr<ReverizKey>> unusable[] = {
        {"unknown_cipher", key("no-such-cipher", QByteArray(16, 'k'), 16, false)},
        {"not_cbc", key("aes-128-ecb", QByteArray(16, 'k'), 16, false)},
        {"bf_key_shorter_than_16_bytes", key("bf-cbc", QByteArray(8, 'k'), 8, true)},
        {"random_vector_shorter_than_the_cipher_vector", key("aes-128-cbc", QByteArray(16, 'k'), 8, false)},
        {"fixed_vector_for_a_longer_cipher_vector", key("aes-128-cbc", QByteArray(16, 'k'), 16, true)},
    };
    // Rows, not structured bindings: the checks run the statement in a lambda, which cannot capture a binding.
    for (const auto& row : unusable) {
        SCOPED_TRACE(row.first);
        const std::shared_ptr<ReverizKey>& k = row.second;
        EXPECT_REVERIZ_THROW((void)k->encryptData("data"), EncryptionFailedException,
                             {"ReverizKey", 13001, "encrypt init failed", "", "", ""});
        EXPECT_REVERIZ_THROW((void)k->decryptData(QByteArray(32, 'e')), DecryptionFailedException,
                             {"ReverizKey", 13002, "decrypt init failed", "", "", ""});
    }

    const std::pair<std::function<QByteArray()>, const char*> damaged[] = {
        {[] { return aesKey()->decryptData(QByteArray(15, 'e')); }, "encrypted data size too small"},
        {[] { return aesKey()->decryptData(QByteArray(16, 'e')); }, "decrypt final failed"},
        {[] { return bfKey(QByteArray(1024, 'b'))->decryptData(bfKey()->encryptData(text(1000))); },
         "decrypt final failed"},
        {[] { return decryptCrafted(0, QByteArray()); }, "data corrupted (compressed data too small)"},
        {[] { return decryptCrafted((1u << 27) + 1, zlib("abc")); }, "data corrupted (invalid compressed size)"},
        // A forged small size does not let the output grow beyond the limit either.
        {[] { return decryptCrafted(1, zlib(QByteArray((128 << 20) + 1, '\0'))); },
         "data corrupted (invalid compressed size)"},
        {[] { return decryptCrafted(3, "xyzw"); }, "data corrupted (decompression failed)"},
        {[] { return decryptCrafted(3, zlib("abc").chopped(3)); }, "data corrupted (decompression failed)"},
    };
    for (const auto& row : damaged) {
        const auto& decrypt = row.first;
        const char* const details = row.second;
        SCOPED_TRACE(details);
        EXPECT_REVERIZ_THROW((void)decrypt(), DecryptionFailedException, {"ReverizKey", 13002, details, "", "", ""});
    }
    // The announced size is only checked against the limit; the stream's own length wins.
    EXPECT_EQ(decryptCrafted(1u << 27, zlib("abc")), "abc");
    EXPECT_EQ(decryptCrafted(1, zlib(text(300000))), text(300000));
}

} // namespace
