#include "common/karnlogger.h"
#include "support/stderrcapture.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

namespace {

using ::testing::HasSubstr;

class KarnLoggerTest : public ::testing::Test
{
protected:
    void SetUp() override { KarnLogger::destroyInstance(); }
    void TearDown() override { KarnLogger::destroyInstance(); }

    std::string path(const char* name = "log.txt") const { return m_dir.filePath(name).toStdString(); }
    std::string fileText() const
    {
        std::ifstream in(path());
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void writeRecord(KarnLogger::LogLevel level, const std::string& text)
    {
        if (!check_for_level(level))
            *karn_logger() << LogHeader("file.cpp", 42, "void f()") << text;
    }

    QTemporaryDir m_dir;
};

// A new logger writes nowhere and only errors pass; initialize_logging enables both outputs, whatever the name.
TEST_F(KarnLoggerTest, LevelNamesAreExactAndAnyNameEnablesBothOutputs)
{
    StderrCapture captured;
    EXPECT_TRUE(check_for_level(KarnLogger::Info));
    EXPECT_FALSE(check_for_level(KarnLogger::Error));
    writeRecord(KarnLogger::Error, "nowhere");
    const std::pair<const char*, KarnLogger::LogLevel> levels[] = {
        {"ultra", KarnLogger::Ultra},
        {"debug", KarnLogger::Debug},
        {"info", KarnLogger::Info},
        {"error", KarnLogger::Error},
    };
    for (const auto& [name, level] : levels) {
        EXPECT_TRUE(initialize_logging("", name)) << name;
        EXPECT_EQ(KarnLogger::getInstance()->getLogLevel(), level) << name;
    }
    EXPECT_FALSE(initialize_logging(path(), "info "));
    EXPECT_FALSE(initialize_logging(path(), "ERROR"));
    EXPECT_EQ(KarnLogger::getInstance()->getLogLevel(), KarnLogger::Error);
    writeRecord(KarnLogger::Error, "both");
    EXPECT_THAT(fileText(), HasSubstr("both\n"));
    EXPECT_EQ(fileText(), captured.text());
}

// Both outputs get the same single record: the one below the level is skipped. The log file is appended to.
TEST_F(KarnLoggerTest, RecordIsHeaderLineThenPiecesThenLineBreak)
{
    std::ofstream(path()) << "earlier\n";
    StderrCapture captured;
    ASSERT_TRUE(initialize_logging(path(), "debug"));
    writeRecord(KarnLogger::Debug, "x");
    writeRecord(KarnLogger::Ultra, "skipped");
    const std::string record = "^earlier\n" + std::to_string(QCoreApplication::applicationPid())
        + R"( \[[A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\] file\.cpp:42 void f\(\)
x
$)";
    EXPECT_TRUE(QRegularExpression(QString::fromStdString(record)).match(QString::fromStdString(fileText())).hasMatch())
        << fileText();
    EXPECT_EQ("earlier\n" + captured.text(), fileText());
}

TEST_F(KarnLoggerTest, RecordsOfConcurrentThreadsNeverInterleave)
{
    ASSERT_TRUE(initialize_logging(path(), "info"));
    StderrCapture captured;
    constexpr int threadCount = 8;
    constexpr int recordsPerThread = 1000;
    std::vector<std::thread> threads;
    threads.reserve(threadCount);
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([t] {
            // Many small pieces per record widen the window for interleaving.
            for (int i = 0; i < recordsPerThread; ++i)
                *karn_logger() << "<" << t << ":" << i << "|" << t << ":" << i << ">";
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    const QStringList lines = QString::fromStdString(fileText()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), threadCount * recordsPerThread);
    const QRegularExpression intact(QStringLiteral("^<(\\d+):(\\d+)\\|\\1:\\2>$"));
    for (const QString& line : lines)
        ASSERT_TRUE(intact.match(line).hasMatch()) << line.toStdString();
}

} // namespace
