#include "common/karnlogger.h"
#include "support/stderrcapture.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;

class KarnLoggerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        KarnLogger::destroyInstance();
        ASSERT_TRUE(m_dir.isValid());
    }
    void TearDown() override { KarnLogger::destroyInstance(); }

    QString logPath(const char* name = "log.txt") const { return m_dir.filePath(QLatin1String(name)); }

    static std::string fileText(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return std::string();
        return file.readAll().toStdString();
    }

    static void writeRecord(KarnLogger::LogLevel level, const std::string& text)
    {
        if (check_for_level(level))
            return;
        *karn_logger() << LogHeader("file.cpp", 42, "void f()") << text;
    }

    QTemporaryDir m_dir;
};

TEST_F(KarnLoggerTest, NewLoggerWritesNowhere)
{
    StderrCapture captured;
    KarnLogger::getInstance()->setLogLevel(KarnLogger::Ultra);
    writeRecord(KarnLogger::Error, "x");
    EXPECT_EQ(captured.text(), "");
    // The default level lets no throw-time (Info) records through.
    KarnLogger::destroyInstance();
    EXPECT_TRUE(check_for_level(KarnLogger::Info));
    EXPECT_FALSE(check_for_level(KarnLogger::Error));
}

TEST_F(KarnLoggerTest, EmptyFileNameAndDebugLevelEchoToStderrOnly)
{
    StderrCapture captured;
    EXPECT_TRUE(initialize_logging("", "debug"));
    EXPECT_EQ(KarnLogger::getInstance()->getLogLevel(), KarnLogger::Debug);
    writeRecord(KarnLogger::Debug, "shown");
    writeRecord(KarnLogger::Ultra, "skipped");
    EXPECT_THAT(captured.text(), HasSubstr("shown"));
    EXPECT_THAT(captured.text(), ::testing::Not(HasSubstr("skipped")));
}

TEST_F(KarnLoggerTest, LevelNamesAreExactAndCaseSensitive)
{
    const struct
    {
        const char* name;
        bool accepted;
        KarnLogger::LogLevel level;
    } cases[] = {
        {"ultra", true, KarnLogger::Ultra}, {"debug", true, KarnLogger::Debug}, {"info", true, KarnLogger::Info},
        {"error", true, KarnLogger::Error}, {"DEBUG", false, KarnLogger::Info}, {"warning", false, KarnLogger::Info},
        {"", false, KarnLogger::Info},      {"info ", false, KarnLogger::Info},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        KarnLogger::getInstance()->setLogLevel(KarnLogger::Info);
        EXPECT_EQ(initialize_logging("", row.name), row.accepted);
        EXPECT_EQ(KarnLogger::getInstance()->getLogLevel(), row.level);
    }
}

TEST_F(KarnLoggerTest, RejectedLevelStillEnablesBothOutputs)
{
    StderrCapture captured;
    KarnLogger::getInstance()->setLogLevel(KarnLogger::Info);
    EXPECT_FALSE(initialize_logging(logPath().toStdString(), "INFO"));
    writeRecord(KarnLogger::Info, "both");
    EXPECT_THAT(captured.text(), HasSubstr("both"));
    EXPECT_THAT(fileText(logPath()), HasSubstr("both"));
}

TEST_F(KarnLoggerTest, RecordIsHeaderLineThenPiecesThenLineBreak)
{
    StderrCapture captured;
    ASSERT_TRUE(initialize_logging(logPath().toStdString(), "info"));
    writeRecord(KarnLogger::Info, "x");

    const std::string pid = std::to_string(QCoreApplication::applicationPid());
    const std::string record = "^" + pid
        + R"( \[[A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\] file\.cpp:42 void f\(\)
x
$)";
    EXPECT_TRUE(QRegularExpression(QString::fromStdString(record))
                    .match(QString::fromStdString(fileText(logPath())))
                    .hasMatch())
        << fileText(logPath());
    EXPECT_EQ(captured.text(), fileText(logPath()));
}

TEST_F(KarnLoggerTest, RecordsBelowTheLevelAreSkipped)
{
    StderrCapture captured;
    ASSERT_TRUE(initialize_logging(logPath().toStdString(), "error"));
    writeRecord(KarnLogger::Info, "x");
    EXPECT_EQ(captured.text(), "");
    EXPECT_EQ(fileText(logPath()), "");
}

TEST_F(KarnLoggerTest, OnlyTheFirstLogFileIsUsed)
{
    KarnLogger* logger = KarnLogger::getInstance();
    logger->setLogLevel(KarnLogger::Info);
    logger->setLogFile(logPath("first.txt").toLocal8Bit().constData());
    logger->setLogFile(logPath("second.txt").toLocal8Bit().constData());
    writeRecord(KarnLogger::Info, "x");
    EXPECT_THAT(fileText(logPath("first.txt")), HasSubstr("x\n"));
    EXPECT_FALSE(QFile::exists(logPath("second.txt")));
}

TEST_F(KarnLoggerTest, LogFileIsAppendedTo)
{
    {
        QFile file(logPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("earlier\n");
    }
    ASSERT_TRUE(initialize_logging(logPath().toStdString(), "info"));
    StderrCapture captured;
    writeRecord(KarnLogger::Info, "later");
    EXPECT_THAT(fileText(logPath()), MatchesRegex("earlier\n[0-9]+ .*\nlater\n"));
}

TEST_F(KarnLoggerTest, UnopenableLogFileIsSilentlyIgnored)
{
    StderrCapture captured;
    ASSERT_TRUE(initialize_logging(logPath("missing/dir/log.txt").toStdString(), "info"));
    writeRecord(KarnLogger::Info, "still on stderr");
    EXPECT_THAT(captured.text(), HasSubstr("still on stderr"));
}

TEST_F(KarnLoggerTest, QStringIsWrittenAsLatin1)
{
    StderrCapture captured;
    ASSERT_TRUE(initialize_logging("", "info"));
    *karn_logger() << QString::fromUtf8("é€");
    EXPECT_EQ(captured.text(), "\xe9?\n");
}

TEST_F(KarnLoggerTest, RecordsOfConcurrentThreadsNeverInterleave)
{
    ASSERT_TRUE(initialize_logging(logPath().toStdString(), "info"));
    StderrCapture captured;
    constexpr int threadCount = 8;
    constexpr int recordsPerThread = 200;
    std::vector<std::thread> threads;
    threads.reserve(threadCount);
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < recordsPerThread; ++i) {
                // Many small pieces per record widen the window for interleaving.
                *karn_logger() << "<" << t << ":" << i << "|" << t << ":" << i << ">";
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    const QStringList lines = QString::fromStdString(fileText(logPath())).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), threadCount * recordsPerThread);
    const QRegularExpression intact(QStringLiteral("^<(\\d+):(\\d+)\\|\\1:\\2>$"));
    for (const QString& line : lines)
        ASSERT_TRUE(intact.match(line).hasMatch()) << line.toStdString();
}

} // namespace
