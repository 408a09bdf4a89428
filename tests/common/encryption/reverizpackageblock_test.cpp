#include "common/encryption/reverizpackageblock.h"
#include "common/jsontext.h"
#include "common/typechecks.h"
#include "support/exceptionmatchers.h"
#include "support/qtprinters.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <json/writer.h>

namespace {

// SHA-1 of "abc" and of no bytes, from FIPS 180-2 appendix A and RFC 3174.
const QString sha1Abc = QStringLiteral("a9993e364706816aba3e25717850c26c9cd0d89d");
const QString sha1Empty = QStringLiteral("da39a3ee5e6b4b0d3255bfef95601890afd80709");

Json::Value parse(const char* text)
{
    Json::Value value;
    EXPECT_TRUE(JsonText::parseStrict(QByteArray(text), value)) << text;
    return value;
}

TEST(PackageBlock, NewBlockHasAFreshIdAndNoStoredDataYet)
{
    const ReverizPackageBlock block(8388608, 4194304);
    EXPECT_TRUE(TypeChecks::isUUID(block.blockId())) << block.blockId().toStdString();
    EXPECT_NE(block.blockId(), ReverizPackageBlock(8388608, 4194304).blockId());
    EXPECT_EQ(block.blockFileName(), block.blockId());
    EXPECT_EQ(block.size(), -1);
    EXPECT_EQ(block.checksum(), QString());
    EXPECT_EQ(block.offset(), 8388608);
    EXPECT_EQ(block.sourceSize(), 4194304);
    EXPECT_FALSE(block.uncompressed());
    EXPECT_EQ(ReverizPackageBlock(QStringLiteral("d"), QStringLiteral("b"), QString(), 0, 0, 0, false).blockFileName(),
              QStringLiteral("d/b"));
}

TEST(PackageBlock, PayloadFixesSizeAndChecksumAndIsVerifiedAgainstThem)
{
    ReverizPackageBlock block(0, 3);
    block.setPayload(QByteArray());
    EXPECT_EQ(block.size(), 0);
    EXPECT_EQ(block.checksum(), sha1Empty);
    block.setPayload("abc");
    EXPECT_EQ(block.size(), 3);
    EXPECT_EQ(block.checksum(), sha1Abc);
    EXPECT_TRUE(block.checkData("abc"));

    block.clearPayload();
    EXPECT_THROW(block.setPayloadAndVerify("ab"), SizeMismatchOnBlockDownloadException);
    EXPECT_REVERIZ_THROW(
        block.setPayloadAndVerify("abd"), CheckSumMisMatchOnBlockDownloadException,
        {QStringLiteral("CheckSumMisMatchOnBlockDownload"), -1, QString(), QString(), QString(), QString()});
    EXPECT_TRUE(block.payload().isNull());
    block.setPayloadAndVerify("abc");
    EXPECT_EQ(block.payload(), "abc");

    // Checksums compare as text: one received in upper case never matches.
    const ReverizPackageBlock upper(QString(), QStringLiteral("b"), sha1Abc.toUpper(), 3, 3, 0, false);
    EXPECT_THROW((void)upper.checkData("abc"), CheckSumMisMatchOnBlockDownloadException);
}

TEST(PackageBlock, JsonFormCarriesTheOffsetAsText)
{
    const ReverizPackageBlock block(QStringLiteral("dir"), QStringLiteral("id"), sha1Abc, 3, 7, 4294967296LL, true);
    EXPECT_EQ(block.toJson(), parse(R"({"blockid": "id", "checksum": "a9993e364706816aba3e25717850c26c9cd0d89d",
                                        "size": 3, "sourceSize": 7, "offset": "4294967296", "uncompressed": true})"));

    const auto read = ReverizPackageBlock::fromJson(block.toJson(), QStringLiteral("elsewhere"));
    EXPECT_EQ(read->blockDirectory(), QStringLiteral("elsewhere"));
    EXPECT_EQ(read->toJson(), block.toJson());

    const struct
    {
        const char* json;
        long long offset;
    } rows[] = {{"{}", -1}, {R"({"offset": "x12"})", 0}, {R"({"offset": "-5"})", -5}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.json);
        const auto partial = ReverizPackageBlock::fromJson(parse(row.json), QString());
        EXPECT_EQ(partial->offset(), row.offset);
        EXPECT_EQ(partial->toJson()["blockid"], "");
        EXPECT_EQ(partial->toJson()["size"], 0);
        EXPECT_EQ(partial->toJson()["uncompressed"], false);
    }
}

class PackageBlockFile : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    ReverizPackageBlock block(const QByteArray& data) const
    {
        return ReverizPackageBlock(m_dir.path(), QStringLiteral("blk"), ReverizPackageBlock::hash(data),
                                   static_cast<int>(data.size()), 0, 0, false);
    }
    QString path() const { return m_dir.filePath(QStringLiteral("blk")); }

    QTemporaryDir m_dir;
};

TEST_F(PackageBlockFile, WriteReplacesReadVerifiesDeleteRemoves)
{
    block("longer content").writeDataToFile("longer content");
    block("abc").writeDataToFile("abc");
    EXPECT_EQ(block("abc").readDataFromFile(), "abc");

    block("abc").deletePackedData();
    EXPECT_FALSE(QFile::exists(path()));
    block("abc").deletePackedData();
    EXPECT_REVERIZ_THROW(
        (void)block("abc").readDataFromFile(), FileOpenFailedException,
        {QStringLiteral("ReverizPackageBlock"), 4002, std::nullopt, QStringLiteral("Block"), QString(), path()});
}

TEST_F(PackageBlockFile, ReadChecksSizeBeforeChecksum)
{
    const struct
    {
        const char* name;
        QByteArray onDisk;
        bool sizeDiffers;
    } rows[] = {{"one_byte_short", "ab", true}, {"one_byte_long", "abcd", true}, {"same_size", "abd", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        block(row.onDisk).writeDataToFile(row.onDisk);
        if (row.sizeDiffers) {
            const QString details =
                QStringLiteral("blockId blk, size expected 3, size found %1").arg(row.onDisk.size());
            EXPECT_REVERIZ_THROW((void)block("abc").readDataFromFile(), SizeMismatchOnBlockFileReadException,
                                 {QStringLiteral("SizeMismatchOnBlockFileRead"), 4020, details, QStringLiteral("Block"),
                                  QStringLiteral("blk"), QString()});
        } else {
            const QString details = QStringLiteral("blockId blk, sha1 expected %1, sha1 found %2")
                                        .arg(sha1Abc, ReverizPackageBlock::hash("abd"));
            EXPECT_REVERIZ_THROW((void)block("abc").readDataFromFile(), CheckSumMismatchOnBlockFileReadException,
                                 {QStringLiteral("CheckSumMismatchOnBlockFileRead"), 4020, details,
                                  QStringLiteral("Block"), QStringLiteral("blk"), QString()});
        }
    }
}

TEST_F(PackageBlockFile, WriteFailuresAreReported)
{
    // A missing directory fails the open; /dev/full opens and fails the write.
    const ReverizPackageBlock targets[] = {
        {m_dir.filePath(QStringLiteral("missing")), QStringLiteral("blk"), QString(), 0, 0, 0, false},
        {QStringLiteral("/dev"), QStringLiteral("full"), QString(), 0, 0, 0, false}};
    for (const ReverizPackageBlock& target : targets) {
        SCOPED_TRACE(target.blockFileName().toStdString());
        EXPECT_REVERIZ_THROW(target.writeDataToFile("abc"), FileWriteFailedException,
                             {QStringLiteral("ReverizPackageBlock"), 4004, std::nullopt, QStringLiteral("BlockFile"),
                              QString(), target.blockFileName()});
    }
}

} // namespace
