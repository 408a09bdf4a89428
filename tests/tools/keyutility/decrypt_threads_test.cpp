#include "common/encryption/encryptedlogfile.h"
#include "keyutilitycommands.h"
#include "support/fileprobes.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Several logs on several threads, one of them for another actor: the others are decrypted, and the failure names
// its log. (Run under ThreadSanitizer too.)
TEST(DecryptLogs, ThreadsDecryptSeveralLogsAndGoOnPastAFailingOne)
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

// A key file that holds no pair fails a batch once, before any log is read (these logs do not exist); the one log of
// the original form is read first, as ever.
TEST(DecryptLogs, AKeyFileWithoutAPairFailsABatchOnceBeforeAnyLog)
{
    QTemporaryDir dir;
    ASSERT_TRUE(FileProbes::put(dir.filePath("key"), "{}"));
    ASSERT_TRUE(FileProbes::put(
        dir.filePath("log.json"),
        Reveriz::EncryptedLogFile::make(std::make_shared<ReverizRSA>(TestKeys::protocolPair()), "line\n")));
    const struct
    {
        QStringList inputs;
        QString err;
    } rows[] = {
        {{"missing1", "missing2"}, "Could not decrypt file: LRC2067\n"},
        {{"missing1"}, "Could not decrypt file: LRC2039\n"},
        {{"log.json"}, "Could not decrypt file: LRC2067\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.inputs.join(' ').toStdString());
        KeyUtility::DecryptRequest request;
        request.keyFile = dir.filePath("key");
        for (const QString& input : row.inputs)
            request.inputs << dir.filePath(input);
        QString err;
        QTextStream stream(&err);
        EXPECT_EQ(KeyUtility::decryptLogs(request, stream), 1);
        EXPECT_EQ(err, row.err);
    }
}

} // namespace
