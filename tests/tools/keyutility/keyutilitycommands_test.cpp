#include "common/exceptions/reverizexception.h"
#include "keyutilitycommands.h"
#include "support/fileprobes.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString privateName = QStringLiteral("protocolkey-private.key");
const QString publicName = QStringLiteral("protocolkey-public.key");

// Stands in for key generation: the protocol fixture's key material for whatever owner create asks for.
std::shared_ptr<ReverizRSA> fixtureKeyMaterial(const ReverizActor& owner)
{
    const ReverizRSA& fixture = TestKeys::protocolPair();
    return std::make_shared<ReverizRSA>(owner, fixture.publicKey(), fixture.privateKey(), false);
}

// Runs create in its own directory; the command's messages end up in err.
class CreateKeyTest : public ::testing::Test
{
protected:
    int create(const QString& serverUUID, const KeyUtility::KeyPairFactory& makeKeyPair = fixtureKeyMaterial)
    {
        err.clear();
        QTextStream stream(&err);
        return KeyUtility::createKey(serverUUID, stream, dir.path(), makeKeyPair);
    }
    QStringList entries() const { return FileProbes::entries(dir.path()); }
    QByteArray content(const QString& name) const { return FileProbes::content(dir.filePath(name)); }
    bool put(const QString& name, const QByteArray& data) const { return FileProbes::put(dir.filePath(name), data); }

    QTemporaryDir dir;
    QString err;
};

// The fixture files were rendered by the fixture generator, independently of the library.
TEST_F(CreateKeyTest, WritesTheFixturePairAsStyledKeyFilesForAnyServerUUID)
{
    ReverizActor owner(QString(), ReverizActor::Server);
    const auto recordOwner = [&](const ReverizActor& given) {
        owner = given;
        return fixtureKeyMaterial(given);
    };
    ASSERT_EQ(create("3b241101-e2bb-4255-8caf-4136c566a962", recordOwner), 0);
    EXPECT_EQ(err, QString());
    EXPECT_EQ(owner, ReverizActor("3b241101-e2bb-4255-8caf-4136c566a962", ReverizActor::Protocol));
    EXPECT_EQ(content(privateName), TestKeys::read("protocol-private.key"));
    EXPECT_EQ(content(publicName), TestKeys::read("protocol-public.key"));
    EXPECT_EQ(entries(), (QStringList {privateName, publicName}));

    ASSERT_EQ(create(QString()), 0);
    EXPECT_EQ(content(publicName),
              TestKeys::read("protocol-public.key").replace("\"3b241101-e2bb-4255-8caf-4136c566a962\"", "\"\""));
}

// Without a translation catalogue the message of a coded exception is its catalogue key.
TEST_F(CreateKeyTest, GenerationFailurePrintsTheMessageAndWritesNothing)
{
    ASSERT_TRUE(put(publicName, "old public key file"));
    const auto failingFactory = [](const ReverizActor&) -> std::shared_ptr<ReverizRSA> {
        throw BIOFailureException("ReverizRSA", REVERIZ_HERE);
    };
    EXPECT_EQ(create("----", failingFactory), 1);
    EXPECT_EQ(err, "Could not generate key: LRC2041\n");
    EXPECT_EQ(entries(), QStringList {publicName});
    EXPECT_EQ(content(publicName), "old public key file");
}

// A directory in a target's place fails the rename, even for root.
const QString renameFailure = QStringLiteral("Could not write key file: %1: cannot rename to %1: Is a directory\n");

TEST_F(CreateKeyTest, PrivateFileWriteFailureKeepsTheOldPublicFile)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(privateName));
    ASSERT_TRUE(put(publicName, "old public key file"));
    EXPECT_EQ(create("----"), 1);
    EXPECT_EQ(err, renameFailure.arg(dir.filePath(privateName)));
    EXPECT_EQ(entries(), (QStringList {privateName, publicName}));
    EXPECT_TRUE(FileProbes::entries(dir.filePath(privateName)).isEmpty());
    EXPECT_EQ(content(publicName), "old public key file");
}

TEST_F(CreateKeyTest, WriteFailureNamesTheFileAndLeavesNoTemporaryOrMismatchedPair)
{
    // The private file goes first, so a failing public file leaves the complete new pair in the private file.
    ASSERT_TRUE(QDir(dir.path()).mkdir(publicName));
    EXPECT_EQ(create("----"), 1);
    EXPECT_EQ(err, renameFailure.arg(dir.filePath(publicName)));
    EXPECT_EQ(entries(), (QStringList {privateName, publicName}));
    EXPECT_EQ(content(privateName),
              TestKeys::read("protocol-private.key").replace("3b241101-e2bb-4255-8caf-4136c566a962", "----"));
}

TEST(KeyUtilityUsage, UsageTextNamesTheProgramTwice)
{
    EXPECT_EQ(KeyUtility::usage("k%1"), "USAGE:\nk%1 create SERVERUUID\nk%1 decrypt privatekey infile\n");
}

} // namespace
