#include "common/encryption/reverizrsa.h"
#include "common/jsontext.h"
#include "support/fileprobes.h"
#include "support/processrunner.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace FileProbes;

// The key utility in the harshest surroundings for create: no UTF-8 locale and a umask that lets everybody
// read new files.
ProcessResult keyUtility(const QStringList& arguments, const QString& directory,
                         const QString& program = KEYUTILITY_PATH)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("LANG");
    environment.remove("LANGUAGE");
    environment.insert("LC_ALL", "C");
    return runProcess(program, arguments, QByteArray(), directory, environment, [] { ::umask(0); });
}

TEST(KeyUtilityUsage, OtherCommandLinesPrintUsageAndSucceed)
{
    QTemporaryDir dir;
    const QByteArray usage =
        "USAGE:\n" KEYUTILITY_PATH " create SERVERUUID\n" KEYUTILITY_PATH " decrypt privatekey infile\n";
    for (const char* commandLine :
         {"", "create", "create a b", "decrypt k", "decrypt k i x", "Create a", "creat a", "create2 a", "help"}) {
        SCOPED_TRACE(commandLine);
        const ProcessResult result = keyUtility(QString(commandLine).split(' ', Qt::SkipEmptyParts), dir.path());
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, usage);
        EXPECT_EQ(result.err, QByteArray());
    }
    EXPECT_TRUE(entries(dir.path()).isEmpty()) << "usage must not create files";

    ASSERT_TRUE(QFile::link(KEYUTILITY_PATH, dir.filePath("ключ-utility")));
    const ProcessResult result = keyUtility({}, dir.path(), "./ключ-utility");
    const QByteArray name = "./\xd0\xba\xd0\xbb\xd1\x8e\xd1\x87-utility";
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "USAGE:\n" + name + " create SERVERUUID\n" + name + " decrypt privatekey infile\n");
}

// Standard output of the openssl tool reading pem, which must succeed.
QByteArray openssl(const QStringList& arguments, const std::string& pem)
{
    const ProcessResult result =
        runProcess("openssl", QStringList {"rsa", "-noout"} + arguments, QByteArray::fromStdString(pem));
    EXPECT_EQ(result.status, 0) << "openssl " << arguments.join(' ').toStdString() << ": " << result.err.data();
    return result.out;
}

// Runs create twice in a directory with a non-ASCII name: the second run replaces both files, also a private key
// file that a careless hand made readable for everybody.
TEST(KeyUtilityCreate, WritesAPairThatOpensslAcceptsAndReplacesItWhenRunAgain)
{
    QTemporaryDir directory(QDir::tempPath() + "/ключи-XXXXXX");
    const QString privatePath = directory.filePath("protocolkey-private.key");
    const QString publicPath = directory.filePath("protocolkey-public.key");
    QByteArray previousModulus;
    // The non-ASCII server UUID is written as it is, but it is no UUID that reading accepts.
    for (const auto& [serverUUID, readable] :
         {std::pair {"3b241101-e2bb-4255-8caf-4136c566a962", true}, std::pair {"сервер-ü", false}}) {
        SCOPED_TRACE(serverUUID);
        const ProcessResult result = keyUtility({"create", serverUUID}, directory.path());
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out + result.err, QByteArray());
        EXPECT_EQ(entries(directory.path()), (QStringList {"protocolkey-private.key", "protocolkey-public.key"}));
        EXPECT_EQ(mode(privatePath), 0600u);
        EXPECT_EQ(mode(publicPath), 0666u);

        Json::Value privateFile;
        Json::Value publicFile;
        ASSERT_TRUE(JsonText::parseStrict(content(privatePath), privateFile));
        ASSERT_TRUE(JsonText::parseStrict(content(publicPath), publicFile));
        EXPECT_EQ(content(privatePath), QByteArray::fromStdString(JsonText::styled(privateFile)));
        EXPECT_EQ(content(publicPath), QByteArray::fromStdString(JsonText::styled(publicFile)));
        Json::Value owner;
        owner["serverUUID"] = serverUUID;
        owner["type"] = "protocol";
        EXPECT_EQ(privateFile["keyowner"], owner);
        EXPECT_EQ(privateFile["requirespassphrase"], Json::Value(false));
        EXPECT_EQ(publicFile["keyowner"], owner);
        EXPECT_EQ(publicFile["publickey"], privateFile["publickey"]);
        EXPECT_EQ(publicFile.getMemberNames(), (std::vector<std::string> {"keyowner", "publickey"}));
        if (readable) {
            const std::shared_ptr<ReverizRSA> pair = ReverizRSA::fromJson(privateFile);
            EXPECT_EQ(pair->keyOwner(), ReverizActor(serverUUID, ReverizActor::Protocol));
            EXPECT_EQ(pair->publicKey().toStdString(), publicFile["publickey"].asString());
            EXPECT_EQ(ReverizRSA::fromJson(publicFile)->publicKey(), pair->publicKey());
        }

        const std::string privatePem = privateFile["privatekey"].asString();
        const std::string publicPem = publicFile["publickey"].asString();
        const QByteArray publicText = openssl({"-RSAPublicKey_in", "-text"}, publicPem);
        EXPECT_TRUE(publicText.startsWith("Public-Key: (4096 bit)\n")) << publicText.left(40).constData();
        EXPECT_TRUE(publicText.endsWith("Exponent: 65537 (0x10001)\n")) << publicText.right(40).constData();
        EXPECT_EQ(openssl({"-check"}, privatePem), "RSA key ok\n");
        const QByteArray modulus = openssl({"-modulus"}, privatePem);
        EXPECT_TRUE(modulus.startsWith("Modulus=")) << modulus.constData();
        EXPECT_EQ(openssl({"-RSAPublicKey_in", "-modulus"}, publicPem), modulus);
        EXPECT_NE(modulus, previousModulus);
        previousModulus = modulus;
        ASSERT_EQ(::chmod(QFile::encodeName(privatePath).constData(), 0644), 0);
    }
}

} // namespace
