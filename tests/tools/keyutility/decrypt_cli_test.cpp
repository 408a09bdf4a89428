#include "common/encryption/reverizrsa.h"
#include "support/fileprobes.h"
#include "support/processrunner.h"
#include "support/qtprinters.h"
#include "support/readfailures.h"
#include "support/testkeys.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

using namespace FileProbes;
using TestKeys::compact;
using TestKeys::encryptedLog;

const QString program = QStringLiteral(KEYUTILITY_PATH);

class DecryptCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        for (const char* name : {"protocol-private.key", "protocol-public.key", "user-private.key"})
            ASSERT_TRUE(put(m_dir.filePath(QLatin1String(name)), TestKeys::read(QLatin1String(name))));
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    ProcessResult decrypt(const QString& keyFile, const QString& input) const
    {
        return runProcess(program, {QStringLiteral("decrypt"), keyFile, input}, QByteArray(), m_dir.path());
    }

    QStringList leftovers() const
    {
        return QDir(m_dir.path()).entryList({QStringLiteral("*.tmp-*"), QStringLiteral("*.tempreplace")}, QDir::Files);
    }

    QTemporaryDir m_dir;
};

TEST_F(DecryptCommand, WritesThePlainBytesBesideTheInput)
{
    QByteArray plain;
    for (int i = 0; i < 256; ++i)
        plain += char(i);
    plain += "2026-12-08 12:00:00 INFO server started\n";
    ASSERT_TRUE(put(path("logs/day.json"), compact(encryptedLog(TestKeys::protocolPair(), plain))));

    const ProcessResult result = decrypt(QStringLiteral("protocol-private.key"), QStringLiteral("logs/day.json"));
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.err, QByteArray());
    EXPECT_EQ(content(path("logs/day.json.decrypted")), plain);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(DecryptCommand, Outcomes)
{
    const Json::Value good = encryptedLog(TestKeys::protocolPair(), "log line\n");
    const auto without = [&](const char* member) {
        Json::Value document = good;
        document.removeMember(member);
        return compact(document);
    };
    const struct
    {
        const char* name;
        QByteArray input;
        int status;
        QByteArray err;
        std::optional<QByteArray> output;
        QByteArray earlier = {}; // an output there before: a failure keeps it
    } rows[] = {
        // Read by the permissive reader, not the fast one: the same outcome.
        {"comment", "// exported\n" + compact(good), 0, "", "log line\n"},
        {"number_root", "00e", 1, "Could not decrypt file: LRC3111\n", std::nullopt},
        {"no_logData", without("logData"), 0, "", ""},
        {"no_key_member", without("key"), 1, "Could not decrypt file: LRC2067\n", std::nullopt},
        {"for_another_actor", compact(encryptedLog(TestKeys::userPair(), "for another actor")), 1,
         "Could not decrypt file: \n", "earlier result", "earlier result"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString input = QString::fromLatin1(row.name) + QLatin1String(".json");
        const QString output = path(input + QLatin1String(".decrypted"));
        ASSERT_TRUE(put(path(input), row.input) && (row.earlier.isEmpty() || put(output, row.earlier)));
        const ProcessResult result = decrypt(QStringLiteral("protocol-private.key"), input);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.err, row.err);
        EXPECT_EQ(content(output), row.output.value_or("<unreadable>"));
    }
    EXPECT_TRUE(leftovers().isEmpty());
}

// The library's read failures (support/readfailures.h) with the key file and with the log file.
TEST_F(DecryptCommand, ReadFailuresPrintTheirCodes)
{
    for (const ReadFailures::Row& row : ReadFailures::rows()) {
        for (const QString& file : {QStringLiteral("protocol-private.key"), QStringLiteral("day.json")}) {
            SCOPED_TRACE(std::string(row.name) + " as " + file.toStdString());
            ASSERT_TRUE(put(path("day.json"), compact(encryptedLog(TestKeys::protocolPair(), "read\n"))));
            ASSERT_TRUE(put(path("protocol-private.key"), TestKeys::read(QStringLiteral("protocol-private.key"))));
            row.make(path(file));
            const ProcessResult result = decrypt(QStringLiteral("protocol-private.key"), QStringLiteral("day.json"));
            const QString printed = QString::fromLatin1(row.decrypt).arg(file);
            EXPECT_EQ(result.status, row.code == 0 ? 0 : 1);
            EXPECT_EQ(result.err,
                      printed.isEmpty() ? QByteArray() : "Could not decrypt file: " + printed.toUtf8() + "\n");
            EXPECT_EQ(content(path("day.json.decrypted")), row.code == 0 ? "read\n" : "<unreadable>");
            EXPECT_FALSE(QFile::exists(path(file + ".tempreplace"))); // moved into place when it was there
            for (const QString& entry : entries(m_dir.path()))
                ASSERT_TRUE(QFile::remove(path(entry)) || QDir(path(entry)).removeRecursively());
        }
    }
}

TEST_F(DecryptCommand, AnOutputThatCannotBeCreatedIsAFailure)
{
    // Too long a name for the file system: fails for root as well. (A directory in the way is among the hostile
    // input.)
    const QString longName = QString(250, QLatin1Char('l'));
    ASSERT_TRUE(put(path(longName), compact(encryptedLog(TestKeys::protocolPair(), "x"))));
    const ProcessResult result = decrypt(QStringLiteral("protocol-private.key"), longName);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Could not create outputfile: " + longName.toUtf8() + ".decrypted\n");
    EXPECT_TRUE(leftovers().isEmpty());
}

// A protected key file is unlocked with the first line of the pass phrase file; without one and without a
// terminal it fails as it always has.
TEST_F(DecryptCommand, PassPhraseComesFromItsFileOnly)
{
    ASSERT_TRUE(put(path("protected.key"), TestKeys::read(QStringLiteral("protocol-protected.key"))));
    ASSERT_TRUE(put(path("day.json"), compact(encryptedLog(TestKeys::protocolPair(), "unlocked\n"))));
    // Warnings, which change no status: a file others can read, and characters the stored form counts as "?".
    const struct
    {
        const char* name;
        QByteArray content;
        QFile::Permissions permissions;
    } files[] = {
        {"right", "correct horse\nsecond line\n", QFile::ReadOwner},
        {"wrong", "correct horse \n", QFile::ReadOwner | QFile::WriteOwner},
        {"shared", "correct horse\n", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup},
        {"cyrillic", "\xd0\xbf\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c\n", QFile::ReadOwner},
    };
    for (const auto& file : files)
        ASSERT_TRUE(put(path(file.name), file.content) && QFile::setPermissions(path(file.name), file.permissions));
    const struct
    {
        QStringList options;
        int status;
        QByteArray err;
    } rows[] = {
        {{"--passphrase-file", "right"}, 0, ""},
        {{"--passphrase-file", "wrong"}, 1, "Could not decrypt file: wrong pass phrase for protected.key\n"},
        {{}, 1, "Could not decrypt file: \n"},
        {{"--passphrase-file", "shared"},
         0,
         "keyutility: warning: pass phrase file shared can be read by group or others (mode 0640)\n"},
        {{"--passphrase-file", "cyrillic"},
         1,
         "keyutility: warning: the pass phrase holds characters outside Latin-1; each of them counts as \"?\"\n"
         "Could not decrypt file: wrong pass phrase for protected.key\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.options.join(' ').toStdString());
        QFile::remove(path("day.json.decrypted"));
        const ProcessResult result =
            runProcess(program, QStringList {"decrypt"} + row.options + QStringList {"protected.key", "day.json"},
                       QByteArray(), m_dir.path(), QProcessEnvironment::systemEnvironment(),
                       [] { ::setsid(); }); // no controlling terminal to ask
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.err, row.err);
        EXPECT_EQ(content(path("day.json.decrypted")), row.status == 0 ? "unlocked\n" : "<unreadable>");
    }
}

TEST_F(DecryptCommand, LargeLogUnderUtf8Names)
{
    QByteArray plain;
    plain.reserve(20 << 20);
    for (qint64 line = 0; plain.size() < (20 << 20); ++line)
        plain += QByteArray::number(line) + " 2026-12-08T10:00:00 INFO package "
            + QByteArray::number(line * 7919 % 10007) + " stored in /srv/packages/" + QByteArray::number(line % 97)
            + "\n";
    const QString name = QStringLiteral("journal-é.json");
    ASSERT_TRUE(put(path(name), compact(encryptedLog(TestKeys::protocolPair(), plain))));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    const ProcessResult result =
        runProcess(program, {QStringLiteral("decrypt"), QStringLiteral("protocol-private.key"), name}, QByteArray(),
                   m_dir.path(), environment);
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(content(path(name + QLatin1String(".decrypted"))) == plain);
}

} // namespace
