#include "common/encryption/encryptedlogfile.h"
#include "common/exceptions/reverizexception.h"
#include "common/internal/atomicfile.h"
#include "common/internal/base64.h"
#include "common/internal/jsontext.h"
#include "keyutilitycommands.h"
#include "support/fileprobes.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <thread>

using namespace Reveriz::Internal;

namespace {

const QString privateName = QStringLiteral("protocolkey-private.key");
const QString publicName = QStringLiteral("protocolkey-public.key");

// Runs create in its own directory; the command's messages end up in err.
class CreateKeyTest : public ::testing::Test
{
protected:
    int create(
        const QString& serverUUID, const KeyUtility::KeyPairFactory& makeKeyPair = [](const ReverizActor& owner) {
            return TestKeys::materialFor(owner);
        })
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
        return TestKeys::materialFor(given);
    };
    ASSERT_EQ(create(TestKeys::serverUUID, recordOwner), 0);
    EXPECT_EQ(err, QString());
    EXPECT_EQ(owner, ReverizActor(TestKeys::serverUUID, ReverizActor::Protocol));
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
    // The output policy refuses a directory in either place before anything is written.
    ASSERT_TRUE(QDir(dir.path()).mkdir(publicName));
    EXPECT_EQ(create("----"), 1);
    EXPECT_EQ(err, renameFailure.arg(dir.filePath(publicName)));
    EXPECT_EQ(entries(), QStringList {publicName});
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

// Every kind of file in both forms, and files that cannot be shown: those get a message, and the rest is shown.
TEST(Show, TellsEachFileInTextAndJson)
{
    // Known answers from the openssl tool on tests/data/keys: the SHA-256 of the output of "openssl rsa
    // -RSAPublicKey_in -in NAME-public.pem -pubout -outform DER", and the fingerprint as in ReverizRSA's test.
    const QString protocol = QStringLiteral("owner: protocol\nowner server UUID: 3b241101-e2bb-4255-8caf-4136c566a962\n"
                                            "RSA size: 4096 bits\npublic exponent: 65537\n");
    const QString protocolDigests =
        QStringLiteral("fingerprint: fa85c2ce\npublic key SHA-256: "
                       "694499e3161a39fb32167b75f93a0830908d8af71f4c575de04f5f1171a38bd7\n");
    const QString userDigests = QStringLiteral("fingerprint: c3a69b76\npublic key SHA-256: "
                                               "58a43b5362fa98ec8d61d9386ffbd84bf4533285fa824f00b08b3ed48e49864c\n");
    const QString protocolJson = QStringLiteral(
        R"("owner": {"serverUUID": "3b241101-e2bb-4255-8caf-4136c566a962", "type": "protocol"}, "bits": 4096,
           "publicExponent": "65537", "fingerprint": )");
    const QString protocolDigestsJson = QStringLiteral(
        R"("fa85c2ce", "publicKeySha256": "694499e3161a39fb32167b75f93a0830908d8af71f4c575de04f5f1171a38bd7")");
    Json::Value mixed; // the protocol pair's private key with the user pair's public key
    ASSERT_TRUE(JsonText::parseStrict(TestKeys::read("protocol-private.key"), mixed));
    mixed["publickey"] = TestKeys::userPair().publicKey().toStdString();
    const QByteArray log =
        Reveriz::EncryptedLogFile::make(std::make_shared<ReverizRSA>(TestKeys::userPair()), "a log\n");
    Json::Value logDocument;
    ASSERT_TRUE(JsonText::parseStrict(log, logDocument));
    const QString logDataSize =
        QString::number(QByteArray::fromBase64(QByteArray::fromStdString(logDocument["logData"].asString())).size());

    const struct
    {
        const char* name;
        QByteArray content; // none: the file does not exist
        QString text;
        QString json;
        QString error = {};
    } rows[] = {
        {"public.key", TestKeys::read("protocol-public.key"), "kind: public key\n" + protocol + protocolDigests,
         R"("kind": "publicKey", )" + protocolJson + protocolDigestsJson},
        {"missing", {}, {}, {}, "FileUtilities: LRC2039 [LRC1112039] Id: %1.tempreplace"},
        {"private.key", TestKeys::read("protocol-private.key"),
         "kind: private key\n" + protocol + protocolDigests + "halves match: yes\n",
         R"("kind": "privateKey", "halvesMatch": true, )" + protocolJson + protocolDigestsJson},
        {"protected.key", TestKeys::read("protocol-protected.key"),
         "kind: private key, protected by a pass phrase\n" + protocol + protocolDigests,
         R"("kind": "protectedPrivateKey", )" + protocolJson + protocolDigestsJson},
        {"mixed.key", QByteArray::fromStdString(JsonText::styled(mixed)),
         "kind: private key\n" + protocol + userDigests + "halves match: no\n",
         R"("kind": "privateKey", "halvesMatch": false, )" + protocolJson
             + R"("c3a69b76", "publicKeySha256": "58a43b5362fa98ec8d61d9386ffbd84bf4533285fa824f00b08b3ed48e49864c")"},
        {"unknown.json", R"({"keys": []})", {}, {}, "neither a key file nor an encrypted log file"},
        {"log.json", log,
         "kind: encrypted log file\nencrypted for: user\n"
         "encrypted for server UUID: 3b241101-e2bb-4255-8caf-4136c566a962\n"
         "encrypted for user UUID: 7c9e6679-7425-40de-944b-e07fc1f90ae7\nRSA blocks: 1 of 4096 bits\n"
         "log data size: "
             + logDataSize + " bytes\n",
         R"("kind": "encryptedLog", "rsaBlocks": 1, "logDataSize": )" + logDataSize + R"(, "encryptedFor":
            {"serverUUID": "3b241101-e2bb-4255-8caf-4136c566a962", "type": "user",
             "userUUID": "7c9e6679-7425-40de-944b-e07fc1f90ae7"})"},
    };
    QTemporaryDir dir;
    QStringList files;
    QString expectedText;
    QString expectedErr;
    QStringList objects;
    for (const auto& row : rows) {
        const QString path = dir.filePath(QLatin1String(row.name));
        ASSERT_TRUE(row.content.isEmpty() || FileProbes::put(path, row.content));
        files << path;
        if (row.error.isEmpty()) {
            expectedText += (expectedText.isEmpty() ? "file: " : "\nfile: ") + path + '\n' + row.text;
            objects << QStringLiteral(R"({"file": "%1", %2})").arg(path, row.json);
        } else {
            expectedErr += QStringLiteral("Could not show file %1: %2\n").arg(path, row.error.arg(path));
            objects << QStringLiteral(R"({"file": "%1", "error": "%2"})").arg(path, row.error.arg(path));
        }
    }
    Json::Value expectedShown;
    ASSERT_TRUE(JsonText::parseStrict(('[' + objects.join(',') + ']').toUtf8(), expectedShown));

    for (const bool json : {false, true}) {
        SCOPED_TRACE(json ? "json" : "text");
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        EXPECT_EQ(KeyUtility::show(files, json, outStream, errStream), 1);
        EXPECT_EQ(err, expectedErr);
        Json::Value shown;
        EXPECT_TRUE(json ? JsonText::parseStrict(out.toUtf8(), shown) && shown == expectedShown : out == expectedText)
            << out.toStdString();
    }
}

// The log data size shown is what the decoder writes: for every length modulo 4, with and without padding, and with
// characters outside the alphabet, which the decoder skips.
TEST(Show, LogDataSizeIsWhatTheDecoderWrites)
{
    Json::Value document;
    ASSERT_TRUE(JsonText::parseStrict(
        Reveriz::EncryptedLogFile::make(std::make_shared<ReverizRSA>(TestKeys::userPair()), "a log\n"), document));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.json"));
    for (const char* logData : {"", "Q", "QQ", "QUI", "QUJD", "QUJDR", "QQ==", "QUI=", "Q===", "=Q U\nI*",
                                "QU=JD\xc3\xa9-_.", "QUJDRA==QUJD"}) {
        SCOPED_TRACE(logData);
        document["logData"] = logData;
        ASSERT_TRUE(FileProbes::put(path, QByteArray::fromStdString(JsonText::compact(document))));
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        ASSERT_EQ(KeyUtility::show({path}, true, outStream, errStream), 0) << err.toStdString();
        Json::Value shown;
        ASSERT_TRUE(JsonText::parseStrict(out.toUtf8(), shown)) << out.toStdString();
        QByteArray text(logData);
        EXPECT_EQ(shown[0]["logDataSize"].asInt64(),
                  qint64(Base64::decodeLenient(text.constData(), text.size(), text.data())));
    }
}

// The text of "logData" between its quotes, as the document has it.
QByteArray logDataText(const QByteArray& document)
{
    static const QRegularExpression member(QStringLiteral(R"re("logData"\s*:\s*"((?:[^"\\]|\\.)*)")re"));
    return member.match(QString::fromLatin1(document)).captured(1).toLatin1();
}

// A log rewrapped for the user pair decrypts with it, while the original still decrypts with the protocol pair;
// the log data's text is carried over byte for byte, escapes and all, whichever reader read it.
TEST(Rewrap, TheOtherPairReadsTheSameLogData)
{
    QTemporaryDir dir;
    const QString key = dir.filePath("key");
    const QString auditor = dir.filePath("auditor.key");
    const QString passPhrase = dir.filePath("pass phrase");
    const QString input = dir.filePath("in.json");
    const QString output = dir.filePath("out.json");
    ASSERT_TRUE(FileProbes::put(auditor, TestKeys::read("user-private.key")));
    ASSERT_TRUE(FileProbes::put(passPhrase, "correct horse\n"));
    ASSERT_TRUE(QFile::setPermissions(passPhrase, QFile::ReadOwner | QFile::WriteOwner));
    // Bytes that do not compress, so that the Base64 text is long and holds every character of its alphabet.
    QByteArray plain(4096, '\0');
    quint32 state = 1;
    for (char& byte : plain)
        byte = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
    const QByteArray log =
        Reveriz::EncryptedLogFile::make(std::make_shared<ReverizRSA>(TestKeys::protocolPair()), plain);
    // Other writers break Base64 into lines and escape slashes; the permissive reader reads comments.
    QByteArray escaped = logDataText(log);
    for (qsizetype at = escaped.size() - escaped.size() % 64; at > 0; at -= 64)
        escaped.insert(at, "\\n");
    escaped.replace("/", "\\/");
    ASSERT_TRUE(escaped.contains("\\/"));
    const QByteArray spread =
        QByteArray(log).replace(logDataText(log), escaped).replace("\"logData\":", "\n\"logData\" : ");
    const struct
    {
        const char* name;
        const char* keyFile;
        QByteArray log;
    } rows[] = {
        {"as_servers_write_it", "protocol-private.key", log},
        {"escaped_with_a_protected_key", "protocol-protected.key", spread},
        {"escaped_read_permissively", "protocol-private.key", "// exported\n" + spread},
    };
    const mode_t previousUmask = ::umask(027);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(FileProbes::put(key, TestKeys::read(QLatin1String(row.keyFile))));
        ASSERT_TRUE(FileProbes::put(input, row.log));
        QString err;
        QTextStream errStream(&err);
        const std::optional<QString> passPhraseFile =
            QLatin1String(row.keyFile) == QLatin1String("protocol-protected.key") ? std::optional(passPhrase)
                                                                                  : std::nullopt;
        ASSERT_EQ(KeyUtility::rewrap(key, auditor, input, output, passPhraseFile, errStream), 0) << err.toStdString();
        const QByteArray rewrapped = FileProbes::content(output);
        EXPECT_FALSE(logDataText(row.log).isEmpty());
        EXPECT_EQ(logDataText(rewrapped), logDataText(row.log));
        EXPECT_EQ(FileProbes::mode(output), 0640u);

        EXPECT_EQ(KeyUtility::decryptLog(auditor, output, errStream), 0);
        EXPECT_EQ(FileProbes::content(output + ".decrypted"), plain);
        ASSERT_TRUE(FileProbes::put(key, TestKeys::read("protocol-private.key")));
        EXPECT_EQ(KeyUtility::decryptLog(key, input, errStream), 0);
        EXPECT_EQ(FileProbes::content(input + ".decrypted"), plain);
        EXPECT_EQ(KeyUtility::decryptLog(key, output, errStream), 1) << "still readable with the first pair";
        EXPECT_EQ(err, "Could not decrypt file: \n");
    }
    ::umask(previousUmask);
}

} // namespace
