#include "common/encryption/reverizpackageblock.h"
#include "common/typechecks.h"
#include "support/exceptionmatchers.h"
#include "support/jsonrejection.h"
#include "support/qtprinters.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// SHA-1 of "abc", FIPS 180-2 appendix A.
const QString sha1Abc = QStringLiteral("a9993e364706816aba3e25717850c26c9cd0d89d");

TEST(PackageBlock, NewBlockHasAFreshIdAndNoStoredData)
{
    const ReverizPackageBlock block(8388608, 4194304);
    EXPECT_TRUE(TypeChecks::isUUID(block.blockId())) << block.blockId().toStdString();
    EXPECT_NE(block.blockId(), ReverizPackageBlock(8388608, 4194304).blockId());
    EXPECT_EQ(block.blockFileName(), block.blockId());
    EXPECT_EQ(block.size(), -1);
    EXPECT_EQ(block.checksum(), QString());
}

TEST(PackageBlock, PayloadSetsOrMustMatchSizeAndChecksum)
{
    ReverizPackageBlock block(0, 3);
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

TEST(PackageBlock, JsonCarriesTheOffsetAsText)
{
    const ReverizPackageBlock block(QStringLiteral("dir"), QStringLiteral("id"), sha1Abc, 3, 7, 4294967296LL, true);
    EXPECT_EQ(block.toJson(), parseJson(R"({"blockid": "id", "checksum": "a9993e364706816aba3e25717850c26c9cd0d89d",
                                        "size": 3, "sourceSize": 7, "offset": "4294967296", "uncompressed": true})"));
    const auto read = ReverizPackageBlock::fromJson(block.toJson(), QStringLiteral("elsewhere"));
    EXPECT_EQ(read->blockFileName(), QStringLiteral("elsewhere/id"));
    EXPECT_EQ(read->toJson(), block.toJson());
    EXPECT_EQ(ReverizPackageBlock::fromJson(parseJson("{}"), QString())->offset(), -1);
    EXPECT_EQ(ReverizPackageBlock::fromJson(parseJson(R"({"offset": "x1"})"), QString())->offset(), 0);
}

class PackageBlockFile : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    // A block expecting "abc" in dir/blk.
    ReverizPackageBlock block(const QString& directory) const
    {
        return ReverizPackageBlock(directory, QStringLiteral("blk"), sha1Abc, 3, 3, 0, false);
    }

    QTemporaryDir m_dir;
};

TEST_F(PackageBlockFile, WriteReplacesReadVerifiesDeleteRemoves)
{
    const ReverizPackageBlock abc = block(m_dir.path());
    abc.writeDataToFile("longer content");
    abc.writeDataToFile("abc");
    EXPECT_EQ(abc.readDataFromFile(), "abc");
    abc.deletePackedData();
    abc.deletePackedData();
    EXPECT_REVERIZ_THROW((void)abc.readDataFromFile(), FileOpenFailedException,
                         {QStringLiteral("ReverizPackageBlock"), 4002, std::nullopt, QStringLiteral("Block"), QString(),
                          abc.blockFileName()});
}

TEST_F(PackageBlockFile, ReadComparesSizeBeforeChecksum)
{
    const ReverizPackageBlock abc = block(m_dir.path());
    for (const char* onDisk : {"ab", "abcd"}) {
        SCOPED_TRACE(onDisk);
        abc.writeDataToFile(onDisk);
        EXPECT_REVERIZ_THROW((void)abc.readDataFromFile(), SizeMismatchOnBlockFileReadException,
                             {QStringLiteral("SizeMismatchOnBlockFileRead"), 4020,
                              QStringLiteral("blockId blk, size expected 3, size found %1").arg(qstrlen(onDisk)),
                              QStringLiteral("Block"), QStringLiteral("blk"), QString()});
    }
    abc.writeDataToFile("abd");
    EXPECT_REVERIZ_THROW(
        (void)abc.readDataFromFile(), CheckSumMismatchOnBlockFileReadException,
        {QStringLiteral("CheckSumMismatchOnBlockFileRead"), 4020,
         QStringLiteral("blockId blk, sha1 expected %1, sha1 found %2").arg(sha1Abc, ReverizPackageBlock::hash("abd")),
         QStringLiteral("Block"), QStringLiteral("blk"), QString()});
}

TEST_F(PackageBlockFile, FailedWritesAreReported)
{
    // A missing directory fails the open; /dev/full opens and fails the write.
    for (const QString& directory : {m_dir.filePath(QStringLiteral("missing")), QStringLiteral("/dev")}) {
        const ReverizPackageBlock target(directory, QStringLiteral("full"), QString(), 0, 0, 0, false);
        EXPECT_REVERIZ_THROW(target.writeDataToFile("abc"), FileWriteFailedException,
                             {QStringLiteral("ReverizPackageBlock"), 4004, std::nullopt, QStringLiteral("BlockFile"),
                              QString(), target.blockFileName()});
    }
}

} // namespace
