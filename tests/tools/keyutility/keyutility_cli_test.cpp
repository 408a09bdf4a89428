#include "common/encryption/reverizrsa.h"
#include "common/jsontext.h"
#include "support/fileprobes.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace FileProbes;

struct ProcessResult
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end, so exit status and exact output bytes are what a shell sees.
ProcessResult run(QProcess& process, const QString& program, const QStringList& arguments, const QByteArray& input = {})
{
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// The key utility in the harshest surroundings for create: no UTF-8 locale and a umask that lets everybody
// read new files.
ProcessResult keyUtility(const QStringList& arguments, const QString& directory,
                         const QString& program = KEYUTILITY_PATH)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("LANG");
    environment.remove("LANGUAGE");
    environment.insert("LC_ALL", "C");
    process.setProcessEnvironment(environment);
    process.setChildProcessModifier([] { ::umask(0); });
    process.setWorkingDirectory(directory);
    return run(process, program, arguments);
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
    QProcess process;
    const ProcessResult result =
        run(process, "openssl", QStringList {"rsa", "-noout"} + arguments, QByteArray::fromStdString(pem));
    EXPECT_EQ(result.status, 0) << "openssl " << arguments.join(' ').toStdString() << ": " << result.err.data();
    return result.out;
}

// The one real key generation of these tests: create in a directory with a non-ASCII name replaces an earlier
// pair with a fresh one; the private key file, which a careless hand made readable for everybody, is private
// again, and the public one keeps its mode. The non-ASCII server UUID is written as it is, though it is no UUID
// that reading accepts (the crash and peer tests read created pairs with the library).
TEST(KeyUtilityCreate, ReplacesAnEarlierPairWithAFreshOneThatOpensslAccepts)
{
    QTemporaryDir directory(QDir::tempPath() + "/ключи-XXXXXX");
    const QString privatePath = directory.filePath("protocolkey-private.key");
    const QString publicPath = directory.filePath("protocolkey-public.key");
    ASSERT_TRUE(put(privatePath, TestKeys::read("protocol-private.key")));
    ASSERT_TRUE(put(publicPath, TestKeys::read("protocol-public.key")));
    ASSERT_EQ(::chmod(QFile::encodeName(privatePath).constData(), 0644), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(publicPath).constData(), 0666), 0);

    const ProcessResult result = keyUtility({"create", "сервер-ü"}, directory.path());
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
    owner["serverUUID"] = "сервер-ü";
    owner["type"] = "protocol";
    EXPECT_EQ(privateFile["keyowner"], owner);
    EXPECT_EQ(privateFile["requirespassphrase"], Json::Value(false));
    EXPECT_EQ(publicFile["keyowner"], owner);
    EXPECT_EQ(publicFile["publickey"], privateFile["publickey"]);
    EXPECT_EQ(publicFile.getMemberNames(), (std::vector<std::string> {"keyowner", "publickey"}));

    const std::string privatePem = privateFile["privatekey"].asString();
    const std::string publicPem = publicFile["publickey"].asString();
    const QByteArray publicText = openssl({"-RSAPublicKey_in", "-text"}, publicPem);
    EXPECT_TRUE(publicText.startsWith("Public-Key: (4096 bit)\n")) << publicText.left(40).constData();
    EXPECT_TRUE(publicText.endsWith("Exponent: 65537 (0x10001)\n")) << publicText.right(40).constData();
    EXPECT_EQ(openssl({"-check"}, privatePem), "RSA key ok\n");
    const QByteArray modulus = openssl({"-modulus"}, privatePem);
    EXPECT_TRUE(modulus.startsWith("Modulus=")) << modulus.constData();
    EXPECT_EQ(openssl({"-RSAPublicKey_in", "-modulus"}, publicPem), modulus);
    EXPECT_NE(modulus, openssl({"-modulus"}, TestKeys::read("protocol-private.pem").toStdString()));
}

} // namespace
