#include "common/exceptions/reverizexception.h"
#include "common/jsontext.h"
#include "keyutilitycommands.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

namespace {

const QString privateName = QStringLiteral("protocolkey-private.key");
const QString publicName = QStringLiteral("protocolkey-public.key");

// Stands in for key generation: the protocol fixture's key material for whatever owner create asks for.
std::shared_ptr<ReverizRSA> fixtureKeyMaterial(const ReverizActor& owner)
{
    const ReverizRSA& fixture = TestKeys::protocolPair();
    return std::make_shared<ReverizRSA>(owner, fixture.publicKey(), fixture.privateKey(), false);
}

class CreateKeyTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    int create(const QString& serverUUID, const KeyUtility::KeyPairFactory& makeKeyPair = fixtureKeyMaterial,
               const QString& directory = QString())
    {
        m_err.clear();
        QTextStream err(&m_err);
        return KeyUtility::createKey(serverUUID, err, directory.isEmpty() ? m_dir.path() : directory, makeKeyPair);
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    }
    QByteArray content(const QString& name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    void put(const QString& name, const QByteArray& data) const
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(data), data.size());
    }
    Json::Value json(const QString& name) const
    {
        Json::Value value;
        EXPECT_TRUE(JsonText::parseStrict(content(name), value)) << name.toStdString();
        return value;
    }
    mode_t modeOf(const QString& name) const
    {
        struct stat info
        {
        };
        return ::stat(QFile::encodeName(path(name)).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
    }

    QTemporaryDir m_dir;
    QString m_err;
};

TEST_F(CreateKeyTest, WritesTheFixturePairAsStyledKeyFiles)
{
    ReverizActor owner(QString(), ReverizActor::Server);
    const auto recordOwner = [&](const ReverizActor& given) {
        owner = given;
        return fixtureKeyMaterial(given);
    };
    ASSERT_EQ(create(QStringLiteral("3b241101-e2bb-4255-8caf-4136c566a962"), recordOwner), 0);
    EXPECT_EQ(m_err, QString());
    EXPECT_EQ(owner, ReverizActor(QStringLiteral("3b241101-e2bb-4255-8caf-4136c566a962"), ReverizActor::Protocol));

    // The fixture files were rendered by the fixture generator, independently of the library.
    EXPECT_EQ(content(privateName), TestKeys::read(QStringLiteral("protocol-private.key")));
    EXPECT_EQ(content(publicName), TestKeys::read(QStringLiteral("protocol-public.key")));
    EXPECT_EQ(entries(), (QStringList {privateName, publicName}));
    EXPECT_EQ(modeOf(privateName), 0600u);
}

TEST_F(CreateKeyTest, AcceptsAnyServerUUIDAsItIs)
{
    for (const QString& serverUUID : {QString(), QStringLiteral("сервер-ü"), QStringLiteral("NOT A UUID")}) {
        SCOPED_TRACE(serverUUID.toStdString());
        ASSERT_EQ(create(serverUUID), 0);
        EXPECT_EQ(m_err, QString());
        for (const QString& name : {privateName, publicName}) {
            const Json::Value file = json(name);
            EXPECT_EQ(QByteArray::fromStdString(JsonText::styled(file)), content(name));
            EXPECT_EQ(file["keyowner"]["serverUUID"].asString(), serverUUID.toStdString());
            EXPECT_EQ(file["keyowner"]["type"].asString(), "protocol");
            EXPECT_FALSE(file["keyowner"].isMember("userUUID"));
        }
        EXPECT_EQ(json(privateName)["privatekey"].asString(), TestKeys::protocolPair().privateKey().toStdString());
        EXPECT_EQ(json(publicName).getMemberNames(), (std::vector<std::string> {"keyowner", "publickey"}));
        EXPECT_EQ(entries(), (QStringList {privateName, publicName}));
    }
}

TEST_F(CreateKeyTest, GenerationFailurePrintsTheMessageAndWritesNothing)
{
    const struct
    {
        const char* name;
        std::function<void()> fail;
        QString expected;
    } cases[] = {
        // Without a translation catalogue the message of a coded exception is its catalogue key.
        {"coded", [] { throw BIOFailureException(QStringLiteral("ReverizRSA"), REVERIZ_HERE); },
         QStringLiteral("Could not generate key: LRC2041\n")},
        {"explicit_message",
         [] { throw ReverizException(QStringLiteral("X"), QStringLiteral("zu groß"), REVERIZ_HERE); },
         QStringLiteral("Could not generate key: zu groß\n")},
        {"name_only", [] { throw KeyGenerationFailedException(REVERIZ_HERE); },
         QStringLiteral("Could not generate key: \n")},
    };
    put(publicName, "old public key file");
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const auto failingFactory = [&](const ReverizActor&) -> std::shared_ptr<ReverizRSA> {
            row.fail();
            return nullptr;
        };
        EXPECT_EQ(create(QStringLiteral("----"), failingFactory), 1);
        EXPECT_EQ(m_err, row.expected);
        EXPECT_EQ(entries(), QStringList {publicName});
        EXPECT_EQ(content(publicName), "old public key file");
    }
}

TEST_F(CreateKeyTest, WriteFailureNamesTheFileAndLeavesNoTemporaryOrMismatchedPair)
{
    // A directory in a target's place fails the rename, even for root.
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(privateName));
    put(publicName, "old public key file");
    EXPECT_EQ(create(QStringLiteral("----")), 1);
    EXPECT_EQ(
        m_err,
        QStringLiteral("Could not write key file: %1: cannot rename to %1: Is a directory\n").arg(path(privateName)));
    EXPECT_EQ(entries(), (QStringList {privateName, publicName}));
    EXPECT_EQ(content(publicName), "old public key file");

    // The private file goes first, so a failing public file leaves the complete new pair in the private file.
    ASSERT_TRUE(QDir(m_dir.path()).rmdir(privateName));
    ASSERT_TRUE(QFile::remove(path(publicName)));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(publicName));
    EXPECT_EQ(create(QStringLiteral("----")), 1);
    EXPECT_EQ(
        m_err,
        QStringLiteral("Could not write key file: %1: cannot rename to %1: Is a directory\n").arg(path(publicName)));
    EXPECT_EQ(entries(), (QStringList {privateName, publicName}));
    EXPECT_EQ(json(privateName)["publickey"].asString(), TestKeys::protocolPair().publicKey().toStdString());
    EXPECT_EQ(json(privateName)["privatekey"].asString(), TestKeys::protocolPair().privateKey().toStdString());

    const QString missing = path(QStringLiteral("missing"));
    EXPECT_EQ(create(QStringLiteral("----"), fixtureKeyMaterial, missing), 1);
    EXPECT_EQ(m_err,
              QStringLiteral("Could not write key file: %1: cannot create a temporary file for %1: No such "
                             "file or directory\n")
                  .arg(missing + QLatin1Char('/') + privateName));
}

} // namespace
