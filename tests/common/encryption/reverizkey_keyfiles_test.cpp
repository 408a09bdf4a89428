#include "common/encryption/reverizkey.h"
#include "common/fileutilities.h"
#include "common/internal/jsontext.h"
#include "support/exceptionmatchers.h"
#include "support/fileprobes.h"
#include "support/jsonrejection.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

using namespace Reveriz::Internal;

namespace {

const QString& user = TestKeys::otherUUID;
const QString& package = TestKeys::userUUID;

// A package key wrapped for a user, as the wrapped-form toJson makes it; the data is not looked at.
Json::Value wrapped(const QString& packageId, const QString& userUUID, const std::string& data = "c2VjcmV0")
{
    return parseJson(R"({"data": ")" + data + R"(", "encryptedfor": {"serverUUID": "s", "type": "user", "userUUID": ")"
                     + userUUID.toStdString() + R"("}, "packageId": ")" + packageId.toStdString() + "\"}");
}

class KeyFiles : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid() && QDir(m_dir.path()).mkpath(QStringLiteral("base/") + user)); }

    QString base() const { return m_dir.filePath(QStringLiteral("base")); }
    QString keyFile(const QString& userUUID, const QString& packageId) const
    {
        return base() + '/' + userUUID + '/' + packageId + ".reverizencryptedkey";
    }

    QTemporaryDir m_dir;
};

TEST_F(KeyFiles, FiledUnderUserThenPackageAndReadWithPackageFirst)
{
    ReverizKey::writeEncryptedKeyToFile(base(), wrapped(package, user, "bG9uZ2VyIGZpcnN0IHZlcnNpb24="));
    ReverizKey::writeEncryptedKeyToFile(base(), wrapped(package, user));
    EXPECT_EQ(FileProbes::content(keyFile(user, package)).toStdString(), JsonText::styled(wrapped(package, user)));
    EXPECT_EQ(ReverizKey::readEncryptedKeyFromFile(base(), package, user), wrapped(package, user));
    EXPECT_REVERIZ_THROW(
        (void)ReverizKey::readEncryptedKeyFromFile(base(), user, package), PackageKeyFileDoesNotExistException,
        {QStringLiteral("PackageKeyFileDoesNotExist"), 2246, QString(), QStringLiteral("packageId"), user, QString()});

    ReverizKey::deleteKeyFile(base(), package, user);
    EXPECT_FALSE(QFile::exists(keyFile(user, package)));
    EXPECT_TRUE(QDir(base()).exists(user));
    ReverizKey::deleteKeyFile(base(), package, user);
}

// Also ids of the UUID's shape with a way out in a group, which only the check of each group's digits refuses.
TEST_F(KeyFiles, IdsThatAreNotUUIDsNeverBecomePaths)
{
    const struct
    {
        QString packageId;
        QString userUUID;
    } rows[] = {{QStringLiteral("../x"), user},
                {QString(), user},
                {package.toUpper(), user},
                {QStringLiteral("/abs"), user},
                {package, QStringLiteral("..")},
                {package, QString()},
                {package, user.toUpper()},
                {package, QStringLiteral("/abs")},
                {QStringLiteral("..-a-b-c-d"), user},
                {package, QStringLiteral("a-b-c-d-../e")},
                {QStringLiteral("./a-b-c-d-e"), user},
                {QStringLiteral("../../a-b-c-d-e"), user},
                {package, QStringLiteral("0/1-2-3-4-5")}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.packageId.toStdString() + " for " + row.userUUID.toStdString());
        // A key file where the ids would lead if they were joined unchecked.
        const QString planted = PathTools::combinePath({base(), row.userUUID, row.packageId}) + ".reverizencryptedkey";
        ASSERT_TRUE(FileProbes::put(planted, "{}"));
        if (row.packageId != package)
            EXPECT_THROW(ReverizKey::writeEncryptedKeyToFile(base(), wrapped(row.packageId, row.userUUID)),
                         CouldNotDeterminePackageUUIDOfEncryptedPackageException);
        else
            EXPECT_THROW(ReverizKey::writeEncryptedKeyToFile(base(), wrapped(row.packageId, row.userUUID)),
                         CouldNotDetermineUserUUIDOfEncryptedPackageException);
        EXPECT_REVERIZ_THROW((void)ReverizKey::readEncryptedKeyFromFile(base(), row.packageId, row.userUUID),
                             PackageKeyFileDoesNotExistException,
                             {QStringLiteral("PackageKeyFileDoesNotExist"), 2246, QString(),
                              QStringLiteral("packageId"), row.packageId, QString()});
        ReverizKey::deleteKeyFile(base(), row.packageId, row.userUUID);
        EXPECT_EQ(QFile(planted).size(), 2);
    }
}

TEST_F(KeyFiles, PackageIdIsExaminedBeforeTheRecipient)
{
    const Json::Value sessionKeyForServer = parseJson(R"({"data": "x", "encryptedfor": {"type": "server"}})");
    EXPECT_THROW(ReverizKey::writeEncryptedKeyToFile(base(), sessionKeyForServer),
                 CouldNotDeterminePackageUUIDOfEncryptedPackageException);
    const Json::Value packageKeyForServer =
        parseJson(R"({"packageId": "a-b-c-d-e", "encryptedfor": {"type": "server"}})");
    EXPECT_THROW(ReverizKey::writeEncryptedKeyToFile(base(), packageKeyForServer),
                 CouldNotDetermineUserUUIDOfEncryptedPackageException);
    EXPECT_THROW((void)ReverizKey::packageId(parseJson("[1]")),
                 CouldNotDeterminePackageUUIDOfEncryptedPackageException);
}

TEST_F(KeyFiles, ContentIsReadAsStrictJson)
{
    ASSERT_TRUE(FileProbes::put(keyFile(user, package), "[1, 2]\n"));
    EXPECT_EQ(ReverizKey::readEncryptedKeyFromFile(base(), package, user), parseJson("[1, 2]"));
    for (const char* content : {"{} // note", "{} trailing", "\"text\""}) {
        SCOPED_TRACE(content);
        ASSERT_TRUE(FileProbes::put(keyFile(user, package), content));
        EXPECT_REVERIZ_THROW(
            (void)ReverizKey::readEncryptedKeyFromFile(base(), package, user), JsonParseError,
            {QStringLiteral("ReverizKey"), 1030, QString(), QStringLiteral("buffer"), QString(), QString()});
    }
}

TEST_F(KeyFiles, FailedWriteNamesTheKeyFile)
{
    // A plain file where the user directory belongs.
    const QString other = QStringLiteral("1b4e28ba-2fa1-11d2-883f-0016d3cca427");
    ASSERT_TRUE(FileProbes::put(base() + '/' + other, "not a directory"));
    EXPECT_REVERIZ_THROW(ReverizKey::writeEncryptedKeyToFile(base(), wrapped(package, other)), FileWriteFailedException,
                         {QStringLiteral("ReverizKey"), 4004, std::nullopt, QStringLiteral("PackageFile"), QString(),
                          keyFile(other, package)});
}

} // namespace
