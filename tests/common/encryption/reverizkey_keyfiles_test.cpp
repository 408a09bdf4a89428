#include "common/encryption/reverizkey.h"
#include "common/jsontext.h"
#include "support/exceptionmatchers.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <json/writer.h>

#include <string>

namespace {

const QString user = QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e");
const QString package = QStringLiteral("7c9e6679-7425-40de-944b-e07fc1f90ae7");

Json::Value parse(const std::string& text)
{
    Json::Value value;
    EXPECT_TRUE(JsonText::parseStrict(QByteArray::fromStdString(text), value)) << text;
    return value;
}

// A package key wrapped for a user, as the wrapped-form toJson makes it; the data is not looked at.
Json::Value wrapped(const QString& packageId, const QString& userUUID, const char* data = "c2VjcmV0")
{
    return parse(R"({"data": ")" + std::string(data) + R"(", "encryptedfor": {"serverUUID": "s", "type": "user",
                 "userUUID": ")"
                 + userUUID.toStdString() + R"("}, "packageId": ")" + packageId.toStdString() + "\"}");
}

class KeyFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("base")));
    }

    QString base() const { return m_dir.filePath(QStringLiteral("base")); }
    QString keyFile(const QString& name) const { return base() + QLatin1Char('/') + name + ".reverizencryptedkey"; }

    static void plant(const QString& path, const QByteArray& content)
    {
        QFile file(path);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)) << path.toStdString();
        ASSERT_EQ(file.write(content), content.size());
    }

    static QByteArray content(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
};

TEST_F(KeyFiles, WrittenUnderUserThenPackageAndReadWithPackageFirst)
{
    const QString path = keyFile(user + '/' + package);
    ReverizKey::writeEncryptedKeyToFile(base(), wrapped(package, user, "Zmlyc3QgdmVyc2lvbiBvZiB0aGUga2V5"));
    ReverizKey::writeEncryptedKeyToFile(base(), wrapped(package, user));
    EXPECT_EQ(content(path),
              QStringLiteral("{\n"
                             "   \"data\" : \"c2VjcmV0\",\n"
                             "   \"encryptedfor\" : {\n"
                             "      \"serverUUID\" : \"s\",\n"
                             "      \"type\" : \"user\",\n"
                             "      \"userUUID\" : \"%1\"\n"
                             "   },\n"
                             "   \"packageId\" : \"%2\"\n"
                             "}\n")
                  .arg(user, package)
                  .toUtf8());
    EXPECT_EQ(ReverizKey::readEncryptedKeyFromFile(base(), package, user), wrapped(package, user));
    EXPECT_REVERIZ_THROW(
        (void)ReverizKey::readEncryptedKeyFromFile(base(), user, package), PackageKeyFileDoesNotExistException,
        {QStringLiteral("PackageKeyFileDoesNotExist"), 2246, QString(), QStringLiteral("packageId"), user, QString()});

    ReverizKey::deleteKeyFile(base(), package, user);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(QDir(base()).exists(user));
    ReverizKey::deleteKeyFile(base(), package, user);
}

TEST_F(KeyFiles, WritingNeedsAPackageIdThenAUserUUIDBothUUIDShaped)
{
    const QString upper = user.toUpper();
    const struct
    {
        const char* name;
        Json::Value wrappedKey;
        bool packageFails;
    } rows[] = {
        {"session_key", parse(R"({"data": "x", "encryptedfor": {"serverUUID": "s", "type": "server"}})"), true},
        {"not_an_object", parse("[1]"), true},
        {"package_id_not_text", parse(R"({"packageId": 5, "encryptedfor": {"userUUID": "a-b-c-d-e"}})"), true},
        {"server_actor", parse(R"({"packageId": "a-b-c-d-e", "encryptedfor": {"type": "server"}})"), false},
        {"package_id_climbs", wrapped(QStringLiteral("../x"), user), true},
        {"package_id_empty", wrapped(QString(), user), true},
        {"package_id_absolute", wrapped(QStringLiteral("/abs"), user), true},
        {"user_uuid_upper_case", wrapped(package, upper), false},
        {"user_uuid_climbs", wrapped(package, QStringLiteral("..")), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.packageFails)
            EXPECT_THROW(ReverizKey::writeEncryptedKeyToFile(base(), row.wrappedKey),
                         CouldNotDeterminePackageUUIDOfEncryptedPackageException);
        else
            EXPECT_THROW(ReverizKey::writeEncryptedKeyToFile(base(), row.wrappedKey),
                         CouldNotDetermineUserUUIDOfEncryptedPackageException);
    }
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList {"base"});
    EXPECT_TRUE(QDir(base()).isEmpty());
}

TEST_F(KeyFiles, ReadingAndDeletingNeverLeaveTheUserDirectory)
{
    // Each row plants a file where its ids would lead if they were joined unchecked.
    ASSERT_TRUE(QDir(base()).mkdir(user));
    const struct
    {
        const char* name;
        QString packageId;
        QString userUUID;
        QString planted;
    } rows[] = {
        {"package_climbs", QStringLiteral("../victim"), user, keyFile(QStringLiteral("victim"))},
        {"user_climbs", package, QStringLiteral(".."), m_dir.filePath(package + ".reverizencryptedkey")},
        {"package_empty", QString(), user, keyFile(user)},
        {"package_absolute", QStringLiteral("/abs"), user, keyFile(user + "/abs")},
        {"package_upper_case", package.toUpper(), user, keyFile(user + '/' + package.toUpper())},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        plant(row.planted, "{}");
        EXPECT_REVERIZ_THROW((void)ReverizKey::readEncryptedKeyFromFile(base(), row.packageId, row.userUUID),
                             PackageKeyFileDoesNotExistException,
                             {QStringLiteral("PackageKeyFileDoesNotExist"), 2246, QString(),
                              QStringLiteral("packageId"), row.packageId, QString()});
        ReverizKey::deleteKeyFile(base(), row.packageId, row.userUUID);
        EXPECT_TRUE(QFile::exists(row.planted));
    }
}

TEST_F(KeyFiles, ContentIsReadAsStrictJson)
{
    const struct
    {
        const char* content;
        bool valid;
    } rows[] = {{"[1, 2]\n", true},     {"{} // note", false}, {"/* note */ {}", false},
                {"{} trailing", false}, {"", false},           {"\"text\"", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.content);
        plant(keyFile(user + '/' + package), row.content);
        if (row.valid)
            EXPECT_EQ(ReverizKey::readEncryptedKeyFromFile(base(), package, user), parse(row.content));
        else
            EXPECT_REVERIZ_THROW(
                (void)ReverizKey::readEncryptedKeyFromFile(base(), package, user), JsonParseError,
                {QStringLiteral("ReverizKey"), 1030, QString(), QStringLiteral("buffer"), QString(), QString()});
    }
}

TEST_F(KeyFiles, FailedWriteNamesTheKeyFile)
{
    // A plain file where the user directory belongs stops the directory and then the file from being made.
    plant(base() + '/' + user, "not a directory");
    EXPECT_REVERIZ_THROW(ReverizKey::writeEncryptedKeyToFile(base(), wrapped(package, user)), FileWriteFailedException,
                         {QStringLiteral("ReverizKey"), 4004, std::nullopt, QStringLiteral("PackageFile"), QString(),
                          keyFile(user + '/' + package)});
}

} // namespace
