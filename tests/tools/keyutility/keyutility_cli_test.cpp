#include "common/encryption/reverizrsa.h"
#include "common/internal/jsontext.h"
#include "support/fileprobes.h"
#include "support/processrunner.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Reveriz::Internal;

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

// The grammar through the binary: the original forms behave as they always have (any command line of no form that
// uses no option gets the usage text and status 0), and an option used wrongly gets a message, the usage text on
// standard error and status 2.
TEST(KeyUtilityGrammar, EveryCommandLineGetsItsFormOrTheUsageText)
{
    QTemporaryDir dir;
    const QByteArray program = KEYUTILITY_PATH;
    const QByteArray usage = "USAGE:\n" + program + " create SERVERUUID\n" + program + " decrypt privatekey infile\n"
        + program + " decrypt [-o OUTFILE | -o -] [-j JOBS] [--passphrase-file FILE] PRIVATEKEY INFILE...\n" + program
        + " show [--json] FILE...\n" + program
        + " rewrap [--passphrase-file FILE] PRIVATEKEY PUBLICKEY INFILE OUTFILE\n" + program + " help | --help | -h\n"
        + program + " --version\n";
    const QByteArray missing = "Could not decrypt file: LRC2039\n";
    const struct
    {
        const char* commandLine;
        int status;
        QByteArray out;
        QByteArray err;
    } rows[] = {
        {"", 0, usage, ""},
        {"create", 0, usage, ""},
        {"create a b", 0, usage, ""},
        {"decrypt k", 0, usage, ""},
        {"Create a", 0, usage, ""},
        {"creat a", 0, usage, ""},
        {"create2 a", 0, usage, ""},
        {"Decrypt k i", 0, usage, ""},
        {"show", 0, usage, ""},
        {"rewrap a b c", 0, usage, ""},
        {"rewrap a b c d e", 0, usage, ""},
        {"help me", 0, usage, ""},
        {"--version 2", 0, usage, ""},
        {"decrypt k i", 1, "", missing},
        {"decrypt -o x", 1, "", missing},
        {"decrypt k i j", 1, "", "Could not decrypt file: LRC2039\n"},
        {"decrypt -j 2 -o - k i", 1, "", missing},
        {"--version", 0, "keyutility 0.1.0\n", ""},
        {"decrypt -x k i", 2, "", "keyutility: unknown option -x\n" + usage},
        {"decrypt -j", 2, "", "keyutility: option -j needs a value\n" + usage},
        {"decrypt -j 0 k i", 2, "", "keyutility: JOBS must be a positive number: 0\n" + usage},
        {"decrypt -j two k i", 2, "", "keyutility: JOBS must be a positive number: two\n" + usage},
        {"decrypt -j +4 k i", 2, "", "keyutility: JOBS must be a positive number: +4\n" + usage},
        {"decrypt -j \t4 k i", 2, "", "keyutility: JOBS must be a positive number: \t4\n" + usage},
        {"decrypt -j 2 -j 2 k i", 2, "", "keyutility: option -j given twice\n" + usage},
        {"decrypt -o a -o b k i", 2, "", "keyutility: option -o given twice\n" + usage},
        {"rewrap --passphrase-file p --passphrase-file p a b c d", 2, "",
         "keyutility: option --passphrase-file given twice\n" + usage},
        {"show --json --json f", 2, "", "keyutility: option --json given twice\n" + usage},
        {"decrypt -o out k i j", 2, "", "keyutility: -o OUTFILE takes one INFILE\n" + usage},
        {"decrypt -o out k", 2, "", "keyutility: decrypt needs PRIVATEKEY and INFILE\n" + usage},
        {"show --json", 2, "", "keyutility: show needs a FILE\n" + usage},
        {"show --", 2, "", "keyutility: show needs a FILE\n" + usage},
        {"decrypt -j x k", 2, "", "keyutility: decrypt needs PRIVATEKEY and INFILE\n" + usage},
        {"decrypt -j x -o out k i j", 2, "", "keyutility: -o OUTFILE takes one INFILE\n" + usage},
        {"show --xml f", 2, "", "keyutility: unknown option --xml\n" + usage},
        {"rewrap --passphrase-file", 2, "", "keyutility: option --passphrase-file needs a value\n" + usage},
        {"rewrap --passphrase-file p a b c", 2, "",
         "keyutility: rewrap needs PRIVATEKEY PUBLICKEY INFILE OUTFILE\n" + usage},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.commandLine);
        const ProcessResult result = keyUtility(QString(row.commandLine).split(' ', Qt::SkipEmptyParts), dir.path());
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, row.err);
    }
    for (const char* help : {"help", "--help", "-h"}) {
        const ProcessResult result = keyUtility({help}, dir.path());
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(result.out.startsWith(usage + "\ncreate SERVERUUID\n")) << result.out.toStdString();
        // A heading with the options of a form, and the column of option descriptions with a continued line.
        EXPECT_TRUE(result.out.contains("\nshow [--json] FILE...\n    Tells what")) << result.out.toStdString();
        EXPECT_TRUE(result.out.contains("INFILE.decrypted.\n    -o OUTFILE              write the one INFILE's")
                    && result.out.contains("each only once it\n                            is known to be sound\n"
                                           "    -j JOBS                 decrypt up to"));
    }
    EXPECT_TRUE(entries(dir.path()).isEmpty()) << "no command line here may create files";

    ASSERT_TRUE(QFile::link(KEYUTILITY_PATH, dir.filePath("ключ-utility")));
    const ProcessResult result = keyUtility({}, dir.path(), "./ключ-utility");
    const QByteArray name = "./\xd0\xba\xd0\xbb\xd1\x8e\xd1\x87-utility";
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(
        result.out.startsWith("USAGE:\n" + name + " create SERVERUUID\n" + name + " decrypt privatekey infile\n"));
}

// Standard output of the openssl tool reading pem, which must succeed.
QByteArray openssl(const QStringList& arguments, const std::string& pem)
{
    const ProcessResult result =
        runProcess("openssl", QStringList {"rsa", "-noout"} + arguments, QByteArray::fromStdString(pem));
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
