#include "keyutilitycommands.h"
#include "support/qtprinters.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ProcessResult
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the real binary, so exit status and exact output bytes are what a shell sees.
ProcessResult runKeyUtility(const QStringList& arguments, const QString& workingDirectory = QString(),
                            const QString& program = QStringLiteral(KEYUTILITY_PATH))
{
    QProcess process;
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

} // namespace
