#include "common/encryption/opensslptr.h"
#include "common/encryption/reverizkey.h"
#include "support/exceptionmatchers.h"
#include "support/qtprinters.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <functional>
#include <memory>
#include <random>

namespace {

// The fixed vector of keys that store none; part of the stored format.
const char* const fixedIvecHex = "3a9c51e706b24df8";

QByteArray pseudoRandom(qsizetype size, unsigned seed)
{
    std::mt19937 generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

// Compressible, but not trivially: words from a small vocabulary.
QByteArray text(qsizetype size)
{
    const QByteArray words[] = {"block ", "key ", "package ", "vector\n", "cipher, "};
    std::mt19937 generator(7);
    QByteArray result;
    while (result.size() < size)
        result += words[generator() % std::size(words)];
    return result.left(size);
}

std::shared_ptr<ReverizKey> key(const char* cipher, const QByteArray& bytes, unsigned int length, bool fixedIvec)
{
    return std::make_shared<ReverizKey>(ReverizKeyIdentifier::createSessionKeyIdentifier(), bytes,
                                        QString::fromLatin1(cipher), length, fixedIvec);
}

std::shared_ptr<ReverizKey> aesKey()
{
    return key("aes-128-cbc", QByteArray::fromHex("2b7e151628aed2a6abf7158809cf4f3c"), 16, false);
}

std::shared_ptr<ReverizKey> bfKey(char fill = 'k')
{
    return key("bf-cbc", QByteArray(1024, fill), 1024, true);
}

// What decryptData makes of plain encrypted straight through OpenSSL with the AES test key: data the library
// would not make itself.
QByteArray decryptCrafted(const QByteArray& plain)
{
    const QByteArray ivec = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
    const auto bytes = [](const QByteArray& b) { return reinterpret_cast<const unsigned char*>(b.constData()); };
    OsslPtr<EVP_CIPHER_CTX> context(EVP_CIPHER_CTX_new());
    QByteArray out(plain.size() + 16, '\0');
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    int updated = 0;
    int finished = 0;
    EXPECT_TRUE(context
                && EVP_EncryptInit_ex2(context.get(), EVP_aes_128_cbc(), bytes(aesKey()->key()), bytes(ivec), nullptr)
                    == 1
                && EVP_EncryptUpdate(context.get(), o, &updated, bytes(plain), static_cast<int>(plain.size())) == 1
                && EVP_EncryptFinal_ex(context.get(), o + updated, &finished) == 1);
    return aesKey()->decryptData(ivec + out.left(updated + finished));
}

// qCompress's layout with a chosen length in front of the zlib stream.
QByteArray withAnnouncedSize(quint32 announced, const QByteArray& data)
{
    QByteArray header(4, '\0');
    qToBigEndian(announced, header.data());
    return header + qCompress(data).mid(4);
}

TEST(EncryptedData, RoundTripsForEveryCipherAndVectorMode)
{
    const QByteArray bfBytes = QByteArray::fromHex("0123456789abcdeff0e1d2c3b4a59687");
    const std::shared_ptr<ReverizKey> keys[] = {aesKey(), key("bf-cbc", bfBytes, 16, false),
                                                key("bf-cbc", bfBytes, 16, true), bfKey()};
    const QByteArray inputs[] = {
        QByteArray(), "x", text(15), text(16), pseudoRandom(17, 1), text(3 << 20), pseudoRandom(1 << 20, 2)};
    for (const auto& k : keys) {
        for (const QByteArray& input : inputs) {
            SCOPED_TRACE(::testing::Message() << k->cipherName().toStdString() << " fixed " << k->fixedIvec() << " "
                                              << input.size() << " bytes");
            const QByteArray encrypted = k->encryptData(input);
            EXPECT_EQ(encrypted.isEmpty(), input.isEmpty());
            EXPECT_EQ(k->decryptData(encrypted), input);
        }
    }
    const auto unusable = key("no-such-cipher", QByteArray(), 0, false);
    EXPECT_EQ(unusable->encryptData(QByteArray()), QByteArray());
    EXPECT_EQ(unusable->decryptData(QByteArray()), QByteArray());
}

TEST(EncryptedData, RandomVectorsAreStoredInFrontAndDrawnEachTime)
{
    for (const qsizetype size : {1, 15, 16, 17, 100000}) {
        SCOPED_TRACE(size);
        const QByteArray input = pseudoRandom(size, 3);
        const QByteArray first = aesKey()->encryptData(input);
        const QByteArray second = aesKey()->encryptData(input);
        EXPECT_GE(first.size(), 32);
        EXPECT_EQ(first.size() % 16, 0);
        EXPECT_NE(first.left(16), second.left(16));
        EXPECT_NE(first.mid(16), second.mid(16));
    }

    // All keyLengthInBytes of the vector are stored, but "bf-cbc" reads only the first 8.
    const auto bf = key("bf-cbc", QByteArray::fromHex("0123456789abcdeff0e1d2c3b4a59687"), 16, false);
    QByteArray encrypted = bf->encryptData("some log lines");
    EXPECT_EQ(encrypted.size() % 8, 0);
    for (int i = 8; i < 16; ++i)
        encrypted[i] = static_cast<char>(~encrypted[i]);
    EXPECT_EQ(bf->decryptData(encrypted), "some log lines");
}

TEST(EncryptedData, FixedVectorOutputIsRepeatableAndUsesSixteenKeyBytes)
{
    for (const qsizetype size : {1, 7, 8, 9, 100000}) {
        SCOPED_TRACE(size);
        const QByteArray input = pseudoRandom(size, 4);
        const QByteArray encrypted = bfKey()->encryptData(input);
        EXPECT_EQ(encrypted.size() % 8, 0);
        EXPECT_EQ(bfKey()->encryptData(input), encrypted);
    }

    QByteArray sameStart(1024, 'z');
    sameStart.replace(0, 16, QByteArray(16, 'k'));
    QByteArray otherByte15(1024, 'k');
    otherByte15[15] = 'j';
    const QByteArray input = text(5000);
    const QByteArray encrypted = bfKey()->encryptData(input);
    EXPECT_EQ(key("bf-cbc", sameStart, 1024, true)->encryptData(input), encrypted);
    EXPECT_NE(key("bf-cbc", otherByte15, 1024, true)->encryptData(input), encrypted);
}

TEST(EncryptedData, KeysTheCipherCannotUseFailBeforeInitialisation)
{
    const struct
    {
        const char* name;
        std::shared_ptr<ReverizKey> key;
    } rows[] = {
        {"unknown_cipher", key("no-such-cipher", QByteArray(16, 'k'), 16, false)},
        {"not_cbc", key("aes-128-ecb", QByteArray(16, 'k'), 16, false)},
        {"key_shorter_than_the_cipher_key", key("aes-128-cbc", QByteArray(15, 'k'), 16, false)},
        {"bf_key_shorter_than_16_bytes", key("bf-cbc", QByteArray(8, 'k'), 8, true)},
        {"random_vector_shorter_than_the_cipher_vector", key("aes-128-cbc", QByteArray(16, 'k'), 8, false)},
        {"fixed_vector_for_a_longer_cipher_vector", key("aes-128-cbc", QByteArray(16, 'k'), 16, true)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_REVERIZ_THROW((void)row.key->encryptData("data"), EncryptionFailedException,
                             {QStringLiteral("ReverizKey"), 13001, QStringLiteral("encrypt init failed"), QString(),
                              QString(), QString()});
        EXPECT_REVERIZ_THROW((void)row.key->decryptData(QByteArray(32, 'e')), DecryptionFailedException,
                             {QStringLiteral("ReverizKey"), 13002, QStringLiteral("decrypt init failed"), QString(),
                              QString(), QString()});
    }
}

TEST(EncryptedData, DamagedOrForgedDataFailsWithItsReason)
{
    // The announced size is only checked against the limit; the stream's own length wins.
    const QByteArray abc = "abc";
    EXPECT_EQ(decryptCrafted(withAnnouncedSize(1u << 27, abc)), abc);
    EXPECT_EQ(decryptCrafted(withAnnouncedSize(0, abc)), abc);
    EXPECT_EQ(decryptCrafted(withAnnouncedSize(1, text(300000))), text(300000));

    const QByteArray zlibAbc = qCompress(abc).mid(4);
    const QByteArray three("\0\0\0\3", 4);
    const struct
    {
        const char* name;
        std::function<QByteArray()> decrypt;
        const char* details;
    } rows[] = {
        {"shorter_than_the_vector", [] { return aesKey()->decryptData(QByteArray(15, 'e')); },
         "encrypted data size too small"},
        {"vector_only", [] { return aesKey()->decryptData(QByteArray(16, 'e')); }, "decrypt final failed"},
        {"partial_block", [] { return aesKey()->decryptData(QByteArray(17, 'e')); }, "decrypt final failed"},
        {"wrong_key", [] { return bfKey('b')->decryptData(bfKey('a')->encryptData(text(1000))); },
         "decrypt final failed"},
        {"four_bytes", [] { return decryptCrafted(QByteArray(4, '\0')); },
         "data corrupted (compressed data too small)"},
        {"announced_above_128_mib", [&] { return decryptCrafted(withAnnouncedSize((1u << 27) + 1, abc)); },
         "data corrupted (invalid compressed size)"},
        {"more_than_128_mib_inside",
         [] { return decryptCrafted(withAnnouncedSize(1, QByteArray((128 << 20) + 1, '\0'))); },
         "data corrupted (invalid compressed size)"},
        {"not_zlib", [&] { return decryptCrafted(three + "xyzw"); }, "data corrupted (decompression failed)"},
        {"zlib_cut_short", [&] { return decryptCrafted(three + zlibAbc.chopped(3)); },
         "data corrupted (decompression failed)"},
        {"zlib_checksum_damaged", [&] { return decryptCrafted(three + zlibAbc.chopped(1) + '!'); },
         "data corrupted (decompression failed)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_REVERIZ_THROW(
            (void)row.decrypt(), DecryptionFailedException,
            {QStringLiteral("ReverizKey"), 13002, QString::fromLatin1(row.details), QString(), QString(), QString()});
    }
}

// The openssl command line and Python's zlib stand in for a peer that knows only the format.
class EncryptedDataInterop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
        m_python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (m_openssl.isEmpty() || m_python.isEmpty())
            GTEST_SKIP() << "needs the openssl and python3 programs";
    }

    static QByteArray run(const QString& program, const QStringList& arguments, const QByteArray& input)
    {
        QProcess process;
        process.start(program, arguments);
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return process.readAllStandardOutput();
    }

    QByteArray openssl(const QString& mode, const QString& cipher, const QByteArray& keyBytes, const QByteArray& ivec,
                       const QByteArray& input) const
    {
        QStringList arguments {QStringLiteral("enc"),
                               mode,
                               QLatin1Char('-') + cipher,
                               QStringLiteral("-K"),
                               QString::fromLatin1(keyBytes.toHex()),
                               QStringLiteral("-iv"),
                               QString::fromLatin1(ivec.toHex())};
        if (cipher == QLatin1String("bf-cbc"))
            arguments << QStringLiteral("-provider") << QStringLiteral("legacy") << QStringLiteral("-provider")
                      << QStringLiteral("default");
        return run(m_openssl, arguments, input);
    }

    QByteArray python(const char* script, const QByteArray& input) const
    {
        return run(m_python, {QStringLiteral("-c"), QString::fromLatin1(script)}, input);
    }

    QString m_openssl;
    QString m_python;
};

// Checks the big-endian length in front of the zlib stream and inflates the stream.
const char* const inflateScript = "import sys, zlib\n"
                                  "data = sys.stdin.buffer.read()\n"
                                  "plain = zlib.decompress(data[4:])\n"
                                  "assert int.from_bytes(data[:4], 'big') == len(plain)\n"
                                  "sys.stdout.buffer.write(plain)\n";
const char* const deflateScript = "import sys, zlib\n"
                                  "plain = sys.stdin.buffer.read()\n"
                                  "sys.stdout.buffer.write(len(plain).to_bytes(4, 'big') + zlib.compress(plain, 6))\n";

TEST_F(EncryptedDataInterop, OpensslDecryptsWhatTheKeyEncrypts)
{
    const QByteArray input = text(200000) + pseudoRandom(3000, 5);
    const QString decrypt = QStringLiteral("-d");

    const QByteArray aes = aesKey()->encryptData(input);
    const QByteArray aesKeyBytes = aesKey()->key();
    EXPECT_EQ(python(inflateScript, openssl(decrypt, "aes-128-cbc", aesKeyBytes, aes.left(16), aes.mid(16))), input);

    // A 1024-byte Blowfish key is used as its first 16 bytes.
    const QByteArray bf = bfKey()->encryptData(input);
    const QByteArray fixedIvec = QByteArray::fromHex(fixedIvecHex);
    EXPECT_EQ(python(inflateScript, openssl(decrypt, "bf-cbc", bfKey()->key().left(16), fixedIvec, bf)), input);
}

TEST_F(EncryptedDataInterop, TheKeyDecryptsWhatOpensslEncrypts)
{
    const QByteArray input = text(200000) + pseudoRandom(3000, 6);
    const QByteArray compressed = python(deflateScript, input);
    const QString encrypt = QStringLiteral("-e");

    const QByteArray ivec = pseudoRandom(16, 8);
    EXPECT_EQ(aesKey()->decryptData(ivec + openssl(encrypt, "aes-128-cbc", aesKey()->key(), ivec, compressed)), input);

    const QByteArray fixedIvec = QByteArray::fromHex(fixedIvecHex);
    EXPECT_EQ(bfKey()->decryptData(openssl(encrypt, "bf-cbc", bfKey()->key().left(16), fixedIvec, compressed)), input);
}

} // namespace
