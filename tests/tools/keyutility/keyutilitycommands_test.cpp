#include "common/atomicfile.h"
#include "common/encryption/encryptedlogfile.h"
#include "common/exceptions/reverizexception.h"
#include "keyutilitycommands.h"
#include "support/fileprobes.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

using namespace Reveriz::Internal;

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

// A directory in a target's place fails the rename, even for root. A failing private file is checked through the
// binary.
TEST_F(CreateKeyTest, WriteFailureNamesTheFileAndLeavesNoTemporaryOrMismatchedPair)
{
    const QString message = QStringLiteral("Could not write key file: %1: cannot rename to %1: Is a directory\n");
    // The private file goes first, so a failing public file leaves the complete new pair in the private file.
    ASSERT_TRUE(QDir(dir.path()).mkdir(publicName));
    EXPECT_EQ(create("----"), 1);
    EXPECT_EQ(err, message.arg(dir.filePath(publicName)));
    EXPECT_EQ(entries(), (QStringList {privateName, publicName}));
    EXPECT_EQ(content(privateName),
              TestKeys::read("protocol-private.key").replace("3b241101-e2bb-4255-8caf-4136c566a962", "----"));
}

// Two creates in one directory must not interleave their renames: while another holds the directory's lock,
// create writes its temporary files but renames neither.
TEST_F(CreateKeyTest, RenamesWaitForTheDirectoryLock)
{
    std::optional<DirectoryLock> otherCreate(std::in_place, dir.path());
    ASSERT_TRUE(otherCreate->locked()) << otherCreate->errorString().toStdString();
    int status = -1;
    std::thread create([&] { status = this->create("----"); });
    const auto temporaryFiles = [&] { return entries().filter(QStringLiteral(".tmp-")).size(); };
    for (int wait = 0; wait < 1000 && temporaryFiles() < 2; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(temporaryFiles(), 2);
    EXPECT_FALSE(entries().contains(privateName) || entries().contains(publicName));
    otherCreate.reset();
    create.join();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(entries(), (QStringList {privateName, publicName}));
}

// Several logs on several threads, one of them for another actor: the others are decrypted, and the failure names
// its log. (Run under ThreadSanitizer too.)
TEST(DecryptLogs, ParallelDecryptionGoesOnPastAFailingLog)
{
    QTemporaryDir dir;
    ASSERT_TRUE(FileProbes::put(dir.filePath("key"), TestKeys::read("protocol-private.key")));
    const auto pairOf = [](const ReverizRSA& pair) { return std::make_shared<ReverizRSA>(pair); };
    KeyUtility::DecryptRequest request;
    request.keyFile = dir.filePath("key");
    request.jobs = 3;
    for (int i = 0; i < 6; ++i) {
        const QString name = dir.filePath(QStringLiteral("log%1.json").arg(i));
        const auto owner = i == 4 ? pairOf(TestKeys::userPair()) : pairOf(TestKeys::protocolPair());
        ASSERT_TRUE(
            FileProbes::put(name, Reveriz::EncryptedLogFile::make(owner, "line " + QByteArray::number(i) + "\n")));
        request.inputs << name;
    }
    QString err;
    QTextStream stream(&err);
    EXPECT_EQ(KeyUtility::decryptLogs(request, stream), 1);
    EXPECT_EQ(err, "Could not decrypt file: " + request.inputs.at(4) + ": \n");
    for (int i = 0; i < 6; ++i) {
        const QString output = request.inputs.at(i) + ".decrypted";
        EXPECT_EQ(FileProbes::content(output), i == 4 ? "<unreadable>" : "line " + QByteArray::number(i) + "\n");
    }
}

} // namespace
