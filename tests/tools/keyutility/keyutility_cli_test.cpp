#include "common/encryption/reverizrsa.h"
#include "common/jsontext.h"
#include "keyutilitycommands.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

namespace {

struct ProcessResult
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the real binary, so exit status and exact output bytes are what a shell sees.
ProcessResult runKeyUtility(const QStringList& arguments, const QString& workingDirectory = QString(),
                            const QString& program = QStringLiteral(KEYUTILITY_PATH),
                            const std::function<void(QProcess&)>& prepare = {})
{
    QProcess process;
    if (prepare)
        prepare(process);
    process.setProgram(program);
    process.setArguments(arguments);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray usageFor(const QByteArray& program)
{
    return "USAGE:\n" + program + " create SERVERUUID\n" + program + " decrypt privatekey infile\n";
}

TEST(KeyUtilityUsage, OtherCommandLinesPrintUsageAndSucceed)
{
    const QStringList commandLines[] = {
        {},
        {QStringLiteral("create")},
        {QStringLiteral("create"), QStringLiteral("a"), QStringLiteral("b")},
        {QStringLiteral("decrypt"), QStringLiteral("k")},
        {QStringLiteral("decrypt"), QStringLiteral("k"), QStringLiteral("i"), QStringLiteral("x")},
        {QStringLiteral("Create"), QStringLiteral("a")},
        {QStringLiteral("creat"), QStringLiteral("a")},
        {QStringLiteral("create2"), QStringLiteral("a")},
        {QStringLiteral("DECRYPT"), QStringLiteral("k"), QStringLiteral("i")},
        {QStringLiteral("decrypt"), QStringLiteral("k") + QLatin1Char(' ')},
        {QStringLiteral("help")},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QStringList& arguments : commandLines) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        const ProcessResult result = runKeyUtility(arguments, dir.path());
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, usageFor(QStringLiteral(KEYUTILITY_PATH).toUtf8()));
        EXPECT_EQ(result.err, QByteArray());
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty()) << "usage must not create files";
}

TEST(KeyUtilityUsage, ProgramNameIsPrintedExactlyAsInvoked)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ключ-utility"));
    ASSERT_TRUE(QFile::link(QStringLiteral(KEYUTILITY_PATH), link));

    const ProcessResult result = runKeyUtility({}, dir.path(), QStringLiteral("./ключ-utility"));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, usageFor(QByteArray("./\xd0\xba\xd0\xbb\xd1\x8e\xd1\x87-utility")));
}

TEST(KeyUtilityUsage, UsageTextNamesTheProgramTwice)
{
    EXPECT_EQ(KeyUtility::usage(QStringLiteral("k%1")),
              QStringLiteral("USAGE:\nk%1 create SERVERUUID\nk%1 decrypt privatekey infile\n"));
}

// The harshest surroundings for create: no UTF-8 locale and a umask that lets everybody read new files.
void inCLocaleWithoutUmask(QProcess& process)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LANG"));
    environment.remove(QStringLiteral("LANGUAGE"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.setChildProcessModifier([] { ::umask(0); });
}

QStringList entries(const QString& directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

QByteArray content(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

mode_t modeOf(const QString& path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

Json::Value parseKeyFile(const QString& path)
{
    Json::Value json;
    EXPECT_TRUE(JsonText::parseStrict(content(path), json)) << path.toStdString();
    return json;
}

// Standard output of the openssl tool, which must succeed.
QByteArray openssl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("openssl"), arguments);
    const bool finished = process.waitForFinished(60000);
    EXPECT_TRUE(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        << "openssl " << arguments.join(QLatin1Char(' ')).toStdString() << ": "
        << process.readAllStandardError().constData();
    return process.readAllStandardOutput();
}

// Checks the key material of a pair of key files with the openssl tool, as a user of the files would.
void expectOpensslAcceptsThePair(const Json::Value& privateFile, const Json::Value& publicFile)
{
    QTemporaryDir pemDirectory;
    ASSERT_TRUE(pemDirectory.isValid());
    const QString privatePem = pemDirectory.filePath(QStringLiteral("private.pem"));
    const QString publicPem = pemDirectory.filePath(QStringLiteral("public.pem"));
    for (const auto& [path, text] : {std::pair {privatePem, privateFile["privatekey"].asString()},
                                     std::pair {publicPem, publicFile["publickey"].asString()}}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(QByteArray::fromStdString(text)), static_cast<qint64>(text.size()));
    }

    const QByteArray publicText =
        openssl({QStringLiteral("rsa"), QStringLiteral("-RSAPublicKey_in"), QStringLiteral("-in"), publicPem,
                 QStringLiteral("-noout"), QStringLiteral("-text")});
    EXPECT_TRUE(publicText.startsWith("Public-Key: (4096 bit)\n")) << publicText.left(40).constData();
    EXPECT_TRUE(publicText.endsWith("Exponent: 65537 (0x10001)\n")) << publicText.right(40).constData();
    EXPECT_EQ(openssl({QStringLiteral("rsa"), QStringLiteral("-in"), privatePem, QStringLiteral("-check"),
                       QStringLiteral("-noout")}),
              "RSA key ok\n");
    const QByteArray privateModulus = openssl({QStringLiteral("rsa"), QStringLiteral("-in"), privatePem,
                                               QStringLiteral("-noout"), QStringLiteral("-modulus")});
    EXPECT_TRUE(privateModulus.startsWith("Modulus=")) << privateModulus.constData();
    EXPECT_EQ(openssl({QStringLiteral("rsa"), QStringLiteral("-RSAPublicKey_in"), QStringLiteral("-in"), publicPem,
                       QStringLiteral("-noout"), QStringLiteral("-modulus")}),
              privateModulus);
}

// Generates two 4096-bit pairs: the only test besides the write failure that runs create in the binary.
TEST(KeyUtilityCreate, WritesAPairThatOpensslAcceptsAndReplacesItWhenRunAgain)
{
    QTemporaryDir directory(QDir::tempPath() + QStringLiteral("/ключи-XXXXXX"));
    ASSERT_TRUE(directory.isValid());
    const QString privatePath = directory.filePath(QStringLiteral("protocolkey-private.key"));
    const QString publicPath = directory.filePath(QStringLiteral("protocolkey-public.key"));
    const QString serverUUID = QStringLiteral("3b241101-e2bb-4255-8caf-4136c566a962");

    const ProcessResult first = runKeyUtility({QStringLiteral("create"), serverUUID}, directory.path(),
                                              QStringLiteral(KEYUTILITY_PATH), inCLocaleWithoutUmask);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.out, QByteArray());
    EXPECT_EQ(first.err, QByteArray());
    EXPECT_EQ(entries(directory.path()),
              (QStringList {QStringLiteral("protocolkey-private.key"), QStringLiteral("protocolkey-public.key")}));
    EXPECT_EQ(modeOf(privatePath), 0600u);
    EXPECT_EQ(modeOf(publicPath), 0666u);

    const Json::Value privateFile = parseKeyFile(privatePath);
    const Json::Value publicFile = parseKeyFile(publicPath);
    EXPECT_EQ(content(privatePath), QByteArray::fromStdString(JsonText::styled(privateFile)));
    EXPECT_EQ(content(publicPath), QByteArray::fromStdString(JsonText::styled(publicFile)));
    expectOpensslAcceptsThePair(privateFile, publicFile);

    const std::shared_ptr<ReverizRSA> pair = ReverizRSA::fromJson(privateFile);
    const std::shared_ptr<ReverizRSA> publicHalf = ReverizRSA::fromJson(publicFile);
    const ReverizActor owner(serverUUID, ReverizActor::Protocol);
    EXPECT_EQ(pair->keyOwner(), owner);
    EXPECT_FALSE(pair->requiresPassPhrase());
    EXPECT_EQ(publicHalf->keyOwner(), owner);
    EXPECT_EQ(publicHalf->publicKey(), pair->publicKey());
    EXPECT_EQ(publicHalf->privateKey(), QByteArray());

    // Run again over the first pair, whose private key file a careless hand made readable for everybody.
    ASSERT_EQ(::chmod(QFile::encodeName(privatePath).constData(), 0644), 0);
    const QString nonAsciiServer = QStringLiteral("сервер-ü");
    const ProcessResult second = runKeyUtility({QStringLiteral("create"), nonAsciiServer}, directory.path(),
                                               QStringLiteral(KEYUTILITY_PATH), inCLocaleWithoutUmask);
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.err, QByteArray());
    EXPECT_EQ(entries(directory.path()),
              (QStringList {QStringLiteral("protocolkey-private.key"), QStringLiteral("protocolkey-public.key")}));
    EXPECT_EQ(modeOf(privatePath), 0600u);

    const Json::Value newPrivateFile = parseKeyFile(privatePath);
    const Json::Value newPublicFile = parseKeyFile(publicPath);
    EXPECT_EQ(newPrivateFile["keyowner"]["serverUUID"].asString(),
              "\xd1\x81\xd0\xb5\xd1\x80\xd0\xb2\xd0\xb5\xd1\x80-\xc3\xbc");
    EXPECT_EQ(newPublicFile["keyowner"], newPrivateFile["keyowner"]);
    EXPECT_NE(newPrivateFile["privatekey"], privateFile["privatekey"]);
    EXPECT_NE(newPublicFile["publickey"], publicFile["publickey"]);
    const OsslPtr<EVP_PKEY> privateKey =
        TestKeys::decodePem(QByteArray::fromStdString(newPrivateFile["privatekey"].asString()));
    const OsslPtr<EVP_PKEY> publicKey =
        TestKeys::decodePem(QByteArray::fromStdString(newPublicFile["publickey"].asString()));
    ASSERT_TRUE(privateKey && publicKey);
    EXPECT_EQ(EVP_PKEY_eq(privateKey.get(), publicKey.get()), 1) << "the replaced halves do not belong together";
}

TEST(KeyUtilityCreate, ReportsAKeyFileThatCannotBeWrittenAndKeepsTheOldFiles)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    ASSERT_TRUE(QDir(directory.path()).mkdir(QStringLiteral("protocolkey-private.key")));
    {
        QFile old(directory.filePath(QStringLiteral("protocolkey-public.key")));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        ASSERT_EQ(old.write("old public key file"), 19);
    }

    const ProcessResult result = runKeyUtility({QStringLiteral("create"), QStringLiteral("----")}, directory.path(),
                                               QStringLiteral(KEYUTILITY_PATH), inCLocaleWithoutUmask);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, QByteArray());
    EXPECT_EQ(result.err,
              "Could not write key file: protocolkey-private.key: cannot rename to "
              "protocolkey-private.key: Is a directory\n");
    EXPECT_EQ(entries(directory.path()),
              (QStringList {QStringLiteral("protocolkey-private.key"), QStringLiteral("protocolkey-public.key")}));
    EXPECT_TRUE(QDir(directory.filePath(QStringLiteral("protocolkey-private.key"))).isEmpty());
    EXPECT_EQ(content(directory.filePath(QStringLiteral("protocolkey-public.key"))), "old public key file");
}

} // namespace
