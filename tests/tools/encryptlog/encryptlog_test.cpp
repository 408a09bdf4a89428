#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizrsa.h"
#include "common/internal/jsontext.h"
#include "encryptlogcommand.h"
#include "support/fileprobes.h"
#include "support/processrunner.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace Reveriz::Internal;

namespace {

class EncryptLogCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(FileProbes::put(path("plain.log"), "2026-12-08 10:00:00 INFO started\n"));
    }

    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    // Runs the command in-process and returns its status; what it printed lands in m_err.
    int encrypt(const QString& keyFile, const QString& plain, const QString& output)
    {
        m_err.clear();
        QTextStream err(&m_err);
        return EncryptLog::encryptLogFile(keyFile, plain, output, err);
    }

    QTemporaryDir m_dir;
    QString m_err;
};

TEST_F(EncryptLogCommand, WritesALogOnlyThePrivateKeyReads)
{
    ASSERT_EQ(encrypt(TestKeys::path(QStringLiteral("protocol-public.key")), path("plain.log"), path("day.json")), 0)
        << m_err.toStdString();
    const QByteArray text = FileProbes::content(path("day.json"));
    EXPECT_EQ(text.count('\n'), 1);
    EXPECT_TRUE(text.endsWith('\n'));

    Json::Value document;
    ASSERT_TRUE(JsonText::parseStrict(text, document));
    EXPECT_EQ(text, QByteArray::fromStdString(JsonText::compact(document)));
    const auto pair = std::make_shared<ReverizRSA>(TestKeys::protocolPair());
    const auto key = ReverizKey::fromJson(pair, document["key"]);
    EXPECT_EQ(key->cipherName(), QStringLiteral("aes-128-cbc"));
    EXPECT_EQ(key->keyLengthInBytes(), 16u);
    EXPECT_FALSE(key->fixedIvec());
    EXPECT_EQ(key->identifier().keyType(), ReverizKeyIdentifier::KeyTypeLogfileKey);
    EXPECT_EQ(key->decryptData(QByteArray::fromBase64(QByteArray::fromStdString(document["logData"].asString()))),
              "2026-12-08 10:00:00 INFO started\n");
}

TEST_F(EncryptLogCommand, FailuresNameWhatFailed)
{
    const QString publicKey = TestKeys::path(QStringLiteral("protocol-public.key"));
    ASSERT_TRUE(FileProbes::put(path("not-a-key.json"), "{\"publickey\": 1}"));

    const struct
    {
        const char* name;
        QString keyFile;
        QString plain;
        QString output;
        QString message;
    } rows[] = {
        {"missing_key_file", path("absent.key"), path("plain.log"), path("out.json"),
         QStringLiteral("Could not read key file ") + path("absent.key")},
        {"not_a_key_file", path("not-a-key.json"), path("plain.log"), path("out.json"),
         QStringLiteral("Could not read key file ") + path("not-a-key.json")
             + QStringLiteral(": ReverizRSA: LRC2067 [missing member] Id: keyowner")},
        {"missing_plain_file", publicKey, path("absent.log"), path("out.json"),
         QStringLiteral("Could not read plain file ") + path("absent.log")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(encrypt(row.keyFile, row.plain, row.output), 1);
        EXPECT_TRUE(m_err.startsWith(row.message)) << m_err.toStdString();
        EXPECT_TRUE(m_err.endsWith(QLatin1Char('\n')));
    }
    EXPECT_FALSE(QFile::exists(path("out.json")));
}

TEST(EncryptLogProgram, WrongArgumentCountPrintsUsageAndFails)
{
    const ProcessResult result =
        runProcess(QStringLiteral(ENCRYPTLOG_PATH), {QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, QByteArray());
    EXPECT_EQ(result.err, "USAGE:\n" ENCRYPTLOG_PATH " PUBLICKEYFILE PLAINFILE OUTFILE\n");
}

} // namespace
