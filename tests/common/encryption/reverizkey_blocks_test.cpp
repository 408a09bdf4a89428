#include "common/encryption/internal/compressedformat.h"
#include "common/encryption/internal/symmetriccipher.h"
#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizpackage.h"
#include "common/encryption/reverizpackageblock.h"
#include "common/fileutilities.h"
#include "common/karnlogger.h"
#include "support/exceptionmatchers.h"
#include "support/fakecatalogue.h"
#include "support/fileprobes.h"
#include "support/qtprinters.h"
#include "support/stderrcapture.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QtEndian>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>
#include <random>
#include <vector>

using namespace Reveriz::Internal;

namespace {

constexpr qint64 MiB = 1 << 20;

QByteArray pseudoRandom(qsizetype size, unsigned seed)
{
    std::mt19937 generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

// Compressible data.
QByteArray text(qsizetype size)
{
    return QByteArray("block key package vector cipher\n").repeated(static_cast<int>(size / 32 + 1)).left(size);
}

// Incompressible bytes and then a run of zeros: the stored form of the random part costs a few bytes more than
// the input, and each further zero costs the compressed form almost nothing, so one run length makes the level-1
// output exactly as long as the input (ratio 100).
// Bytes that the block compressor shrinks by less than 2 % but does not grow: "not effective", kept compressed.
QByteArray compressesToItsOwnLength()
{
    const QByteArray random = pseudoRandom(65536, 9);
    for (qsizetype zeros = 0; zeros < 4000; ++zeros) {
        QByteArray candidate = random + QByteArray(zeros, '\0');
        const qsizetype compressed = CompressedFormat::compress(candidate).size();
        if (compressed <= candidate.size() && compressed * 100 / candidate.size() > 98)
            return candidate;
    }
    return QByteArray();
}

// The messages run sends to Qt's debug output.
QStringList debugMessagesOf(const std::function<void()>& run)
{
    static QStringList messages;
    messages.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtDebugMsg)
                messages << message;
        });
    run();
    qInstallMessageHandler(previous);
    return messages;
}

class BlockEncryption : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override { KarnLogger::destroyInstance(); }

    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    static ReverizPackageBlock holding(const QByteArray& payload, bool uncompressed)
    {
        ReverizPackageBlock block(0, 0);
        block.setPayload(payload);
        block.setUncompressed(uncompressed);
        return block;
    }

    // A block of plain encrypted as it is and then marked compressed: stored data encryptBlock would not make.
    ReverizPackageBlock markedCompressed(const QByteArray& plain) const
    {
        EXPECT_TRUE(FileProbes::put(path("crafted"), plain));
        ReverizPackageBlock block(0, 0);
        bool keepCompressing = false;
        m_aes->encryptBlock(&block, path("crafted"), false, &keepCompressing);
        block.setUncompressed(false);
        return block;
    }

    QTemporaryDir m_dir;
    Reveriz::PackageInfo m_package {2, QStringLiteral("package-1")};
    std::shared_ptr<ReverizKey> m_aes = ReverizKey::createSessionKey(QStringLiteral("aes-128-cbc"), 16, false);
    std::shared_ptr<ReverizKey> m_bf = ReverizKey::createSessionKey(QStringLiteral("bf-cbc"), 16, true);
};

TEST_F(BlockEncryption, FileRoundTripsThroughBlockFilesIntoAPresizedTargetBackwards)
{
    const qint64 fileSize = 10 * MiB;
    const struct
    {
        const char* name;
        QByteArray data;
        ReverizKey* key;
    } rows[] = {{"text_aes", text(fileSize), m_aes.get()},
                {"text_bf", text(fileSize), m_bf.get()},
                {"random_aes", pseudoRandom(fileSize, 1), m_aes.get()},
                {"random_bf", pseudoRandom(fileSize, 2), m_bf.get()}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(FileProbes::put(path("source"), row.data));
        QFile::remove(path("target"));
        std::vector<std::unique_ptr<ReverizPackageBlock>> received;
        for (const qint64 offset : {qint64(0), 4 * MiB, 8 * MiB}) {
            ReverizPackageBlock sent(offset, static_cast<int>(std::min(4 * MiB, fileSize - offset)));
            bool keepCompressing = false;
            (void)debugMessagesOf([&] { row.key->encryptBlock(&sent, path("source"), true, &keepCompressing); });
            received.push_back(ReverizPackageBlock::fromJson(sent.toJson(), m_dir.path()));
            received.back()->writeDataToFile(sent.payload());
            received.back()->setPayloadAndVerify(received.back()->readDataFromFile());
        }
        ASSERT_TRUE(PathTools::createEmptyFile(path("target"), fileSize));
        for (auto block = received.rbegin(); block != received.rend(); ++block) {
            row.key->decryptBlock(&m_package, path("target"), block->get());
            const qint64 from = (*block)->offset();
            EXPECT_EQ(FileProbes::content(path("target")), QByteArray(from, '\0') + row.data.mid(from))
                << "after block at " << from;
        }
    }
}

TEST_F(BlockEncryption, CompressionIsKeptWhileItPays)
{
    const QByteArray ratio100 = compressesToItsOwnLength();
    ASSERT_FALSE(ratio100.isEmpty());
    const QString worse = QStringLiteral("disable compression -- result is worse");
    const QString notEffective = QStringLiteral("disable compression -- not effective");
    const struct
    {
        const char* name;
        QByteArray source;
        bool compress;
        bool storedUncompressed;
        bool keepCompressing;
        QStringList messages;
    } rows[] = {
        {"effective", text(100000), true, false, true, {}},
        {"worse", pseudoRandom(100000, 3), true, true, false, {worse}},
        {"ratio_100", ratio100, true, false, false, {notEffective}},
        {"not_asked", text(100000), false, true, false, {}},
        {"empty_range", QByteArray(), true, true, false, {worse}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(FileProbes::put(path("source"), row.source));
        QFile::remove(path("target"));
        ReverizPackageBlock block(0, static_cast<int>(row.source.size()));
        bool keepCompressing = !row.keepCompressing;
        EXPECT_EQ(debugMessagesOf([&] { m_aes->encryptBlock(&block, path("source"), row.compress, &keepCompressing); }),
                  row.messages);
        EXPECT_EQ(block.uncompressed(), row.storedUncompressed);
        EXPECT_EQ(keepCompressing, row.keepCompressing);
        m_aes->decryptBlock(&m_package, path("target"), &block);
        EXPECT_EQ(FileProbes::content(path("target")), row.source);
    }
    // A range beyond the end of the file is an error, the end itself an empty range (the row above).
    ReverizPackageBlock beyond(1, 0);
    bool keepCompressing = false;
    EXPECT_REVERIZ_THROW(m_aes->encryptBlock(&beyond, path("source"), true, &keepCompressing), FileReadFailedException,
                         {QStringLiteral("ReverizKey"), 4005, QStringLiteral("unexpected readSize"),
                          QStringLiteral("SourceFile"), QString(), path("source")});
    EXPECT_EQ(beyond.size(), -1);
}

// qCompress's layout with a chosen length in front of the zlib stream.
QByteArray withAnnouncedSize(quint32 announced, const QByteArray& zlibStream)
{
    QByteArray header(4, '\0');
    qToBigEndian(announced, header.data());
    return header + zlibStream;
}

TEST_F(BlockEncryption, DamagedOrOversizedBlocksFailBeforeTheTargetIsOpened)
{
    const QByteArray zlibAbc = qCompress("abc").mid(4);
    const struct
    {
        const char* name;
        ReverizPackageBlock block;
        const char* details;
    } rows[] = {
        {"larger_than_the_buffer", holding(QByteArray(8388609, 'e'), true), "encrypted data size larger than buffer"},
        {"announces_more_than_8_mib", markedCompressed(withAnnouncedSize(8388609, zlibAbc)),
         "data corrupted (invalid compressed size)"},
        {"stream_does_not_decode", markedCompressed(withAnnouncedSize(3, "xyzw")),
         "data corrupted (decompression failed)"},
    };
    for (auto row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_REVERIZ_THROW(
            m_aes->decryptBlock(&m_package, path("target"), &row.block), DecryptionFailedException,
            {QStringLiteral("ReverizKey"), 13002, QString::fromLatin1(row.details), QString(), QString(), QString()});
        EXPECT_FALSE(QFile::exists(path("target")));
    }

    // At the limits: stored data of exactly 8388608 bytes (made straight with the cipher, since a block's source
    // range never needs that much) and a compressed block announcing exactly 8 MiB.
    const QByteArray plain = pseudoRandom(8388607, 4);
    QByteArray stored;
    stored.truncate(SymmetricCipher::run(SymmetricCipher::Direction::Encrypt, m_bf->cipherName(), m_bf->key(),
                                         SymmetricCipher::fixedIvec(), plain, stored, 0));
    ASSERT_EQ(stored.size(), 8388608);
    ReverizPackageBlock full = holding(stored, true);
    m_bf->decryptBlock(&m_package, path("full"), &full);
    EXPECT_EQ(FileProbes::content(path("full")), plain);
    ReverizPackageBlock announces8MiB = markedCompressed(withAnnouncedSize(8388608, zlibAbc));
    m_aes->decryptBlock(&m_package, path("abc"), &announces8MiB);
    EXPECT_EQ(FileProbes::content(path("abc")), "abc");
}

TEST_F(BlockEncryption, NewerPackageFormatsAreRefusedBeforeAnythingElse)
{
    ReverizPackageBlock block = holding("not even encrypted", false);
    Reveriz::PackageInfo version3(3, QStringLiteral("package-3"));
    EXPECT_REVERIZ_THROW(m_aes->decryptBlock(&version3, path("target"), &block), ReverizException,
                         {QStringLiteral("ReverizKey"), 2244, QStringLiteral("LRC2167"), QStringLiteral("LRC2166"),
                          QStringLiteral("package-3"), QString()});

    const FakeCatalogue catalogue({{QStringLiteral("ReverizKey/LRC2166"), QStringLiteral("format version %1")},
                                   {QStringLiteral("ReverizKey/LRC2167"), QStringLiteral("format unsupported")}});
    EXPECT_REVERIZ_THROW(m_aes->decryptBlock(&version3, path("target"), &block), ReverizException,
                         {QStringLiteral("ReverizKey"), 2244, QStringLiteral("format unsupported"),
                          QStringLiteral("format version 3"), QStringLiteral("package-3"), QString()});
    EXPECT_FALSE(QFile::exists(path("target")));
}

TEST_F(BlockEncryption, EachBlockWriteIsLoggedAndFailuresNameTheTarget)
{
    ASSERT_TRUE(FileProbes::put(path("source"), "0123456789"));
    ReverizPackageBlock block(3, 7);
    bool keepCompressing = false;
    m_aes->encryptBlock(&block, path("source"), false, &keepCompressing);

    const StderrCapture captured;
    ASSERT_TRUE(initialize_logging("", "debug"));
    m_aes->decryptBlock(&m_package, path("target"), &block);
    EXPECT_EQ(FileProbes::content(path("target")), QByteArray(3, '\0') + "3456789");
    EXPECT_THAT(captured.text(),
                ::testing::HasSubstr("void ReverizKey::decryptBlock(ReverizPackage*, const QString&, "
                                     "ReverizPackageBlock*) const\nWrite to file "
                                     + path("target").toStdString() + ": block " + block.blockId().toStdString()
                                     + " size: 7 offset: 3"));

    EXPECT_REVERIZ_THROW(
        m_aes->decryptBlock(&m_package, path("missing/target"), &block), FileOpenFailedException,
        {QStringLiteral("ReverizKey"), 4002, std::nullopt, QStringLiteral("Block"), QString(), path("missing/target")});
}

TEST_F(BlockEncryption, ThreadsDecryptBlocksOfOneFileAtOnce)
{
    // Uncompressed, every byte written passes through the thread's decryption buffer.
    const qint64 fileSize = 10 * MiB;
    const QByteArray data = pseudoRandom(fileSize, 5);
    ASSERT_TRUE(FileProbes::put(path("source"), data));
    std::vector<ReverizPackageBlock> blocks;
    for (const qint64 offset : {qint64(0), 4 * MiB, 8 * MiB}) {
        blocks.emplace_back(offset, static_cast<int>(std::min(4 * MiB, fileSize - offset)));
        bool keepCompressing = false;
        m_aes->encryptBlock(&blocks.back(), path("source"), false, &keepCompressing);
    }
    const QString targets[] = {path("first"), path("second")};
    for (const QString& target : targets)
        ASSERT_TRUE(PathTools::createEmptyFile(target, fileSize));

    std::vector<std::future<void>> decrypting;
    decrypting.reserve(blocks.size());
    for (ReverizPackageBlock& block : blocks) {
        decrypting.push_back(std::async(std::launch::async, [&, b = &block] {
            for (const QString& target : targets)
                m_aes->decryptBlock(&m_package, target, b);
        }));
    }
    for (std::future<void>& done : decrypting)
        done.get();
    for (const QString& target : targets)
        EXPECT_EQ(FileProbes::content(target), data);
}

} // namespace
