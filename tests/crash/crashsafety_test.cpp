// Crash safety: writers are killed with SIGKILL at random moments, and after every kill the files they replace
// must hold the complete old or the complete new content, never a mix, an empty file or nothing.
//
// REVERIZ_CRASH_KILLS sets the kills per case (200 unless set), REVERIZ_CRASH_CREATE_KILLS those of the real
// create command, which spends most of its time generating a key (4 unless set: the create loop of crashwriter
// kills the same writing code many times), and REVERIZ_CRASH_SEED the random seed, which every case prints.

#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "crashcontent.h"
#include "keyutilitycommands.h"
#include "support/fileprobes.h"
#include "support/testkeys.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

namespace {

const QString writerProgram = QStringLiteral(CRASHWRITER_PATH);
const QString keyUtility = QStringLiteral(KEYUTILITY_PATH);

int fromEnvironment(const char* variable, int fallback)
{
    const QByteArray value = qgetenv(variable);
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok && number >= 0 ? number : fallback;
}

int kills()
{
    return fromEnvironment("REVERIZ_CRASH_KILLS", 200);
}

std::mt19937 seededRandom()
{
    const unsigned seed =
        static_cast<unsigned>(fromEnvironment("REVERIZ_CRASH_SEED", int(std::random_device()() >> 1)));
    std::cout << "[ seed     ] REVERIZ_CRASH_SEED=" << seed << std::endl;
    return std::mt19937(seed);
}

// Whether the kill's delay counts from the start of the process or from the writer's "ready" line, printed
// once it has started up: start-up time varies widely (several times longer under the sanitizers) and would
// otherwise decide where the kills land.
enum class Clock { FromStart, FromReady };

// Starts program in directory, lets it run for delay milliseconds and kills it. Returns whether it was still
// running, that is whether the kill interrupted it.
bool runAndKill(const QString& program, const QStringList& arguments, const QString& directory, int delay,
                Clock clock = Clock::FromStart)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(directory);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start();
    EXPECT_TRUE(process.waitForStarted()) << program.toStdString();
    if (clock == Clock::FromReady) {
        while (!process.canReadLine() && process.waitForReadyRead(30000)) { }
        EXPECT_EQ(process.readLine(), QByteArray("ready\n")) << program.toStdString();
    }
    if (!process.waitForFinished(delay))
        process.kill();
    if (process.state() != QProcess::NotRunning) {
        EXPECT_TRUE(process.waitForFinished(10000));
    }
    return process.exitStatus() == QProcess::CrashExit;
}

// Removes the temporary files a killed atomic writer leaves beside its target; returns how many there were.
int removeLeftovers(const QString& directory)
{
    const QStringList leftovers = QDir(directory).entryList({QStringLiteral("*.tmp-*")}, QDir::Files);
    for (const QString& name : leftovers)
        QFile::remove(directory + QLatin1Char('/') + name);
    return static_cast<int>(leftovers.size());
}

void report(const std::string& what)
{
    std::cout << "[ tally    ] " << what << std::endl;
    ::testing::Test::RecordProperty("tally", what);
}

TEST(CrashSafety, SafeReplacementLeavesTheOldOrTheNewContent)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString path = directory.filePath(QStringLiteral("replaced.bin"));
    const QString companion = path + QStringLiteral(".tempreplace");
    // The first write of a file is no replacement; the writer only ever replaces.
    FileUtilities::writeByteArray(path, CrashContent::content(1), false);

    std::mt19937 random = seededRandom();
    std::uniform_int_distribution<int> delay(0, 50);
    int interrupted = 0;
    int companions = 0;
    for (int kill = 0; kill < kills(); ++kill) {
        SCOPED_TRACE(kill);
        ASSERT_TRUE(runAndKill(writerProgram, {QStringLiteral("replace"), path}, directory.path(), delay(random),
                               Clock::FromReady));
        ++interrupted;
        companions += QFile::exists(companion) ? 1 : 0;
        QByteArray data;
        ASSERT_NO_THROW(FileUtilities::readByteArray(path, data, true));
        ASSERT_TRUE(data == CrashContent::content(0) || data == CrashContent::content(1)) << "size " << data.size();
    }
    report(std::to_string(interrupted) + " kills, " + std::to_string(companions)
           + " left a companion behind (killed during a replacement)");
    if (kills() >= 50) {
        EXPECT_GT(companions, 0) << "no kill landed during a replacement";
    }
}

TEST(CrashSafety, DecryptOutputIsAbsentTheEarlierOneOrComplete)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString key = QStringLiteral("protocol-private.key");
    ASSERT_TRUE(QFile::copy(TestKeys::path(key), directory.filePath(key)));
    QByteArray plain;
    for (int line = 0; plain.size() < (4 << 20); ++line)
        plain += "2026-12-08 12:00:00 INFO package " + QByteArray::number(line * 7919 % 100003) + " stored\n";
    FileUtilities::writeJsonValue(directory.filePath(QStringLiteral("log.json")),
                                  TestKeys::encryptedLog(TestKeys::protocolPair(), plain), false);
    const QString output = directory.filePath(QStringLiteral("log.json.decrypted"));
    const QByteArray earlier("the earlier output\n");
    const QStringList arguments = {QStringLiteral("decrypt"), key, QStringLiteral("log.json")};

    // Kills spread over a whole run and a little beyond.
    QElapsedTimer timer;
    timer.start();
    ASSERT_FALSE(runAndKill(keyUtility, arguments, directory.path(), 60000));
    const int runTime = static_cast<int>(timer.elapsed());
    ASSERT_TRUE(FileProbes::content(output) == plain);

    std::mt19937 random = seededRandom();
    std::uniform_int_distribution<int> delay(0, runTime * 13 / 10);
    int absent = 0;
    int kept = 0;
    int complete = 0;
    int leftovers = 0;
    for (int kill = 0; kill < kills(); ++kill) {
        SCOPED_TRACE(kill);
        const bool hadEarlier = kill % 2 == 1;
        QFile::remove(output);
        if (hadEarlier)
            FileUtilities::writeByteArray(output, earlier, false);
        runAndKill(keyUtility, arguments, directory.path(), delay(random));
        leftovers += removeLeftovers(directory.path());
        if (!QFile::exists(output)) {
            ASSERT_FALSE(hadEarlier) << "the earlier output is gone";
            ++absent;
            continue;
        }
        const QByteArray found = FileProbes::content(output);
        if (found == plain) {
            ++complete;
            continue;
        }
        ASSERT_TRUE(hadEarlier && found == earlier) << "output of " << found.size() << " bytes";
        ++kept;
    }
    report(std::to_string(kills()) + " kills of a " + std::to_string(runTime) + " ms run: " + std::to_string(absent)
           + " no output, " + std::to_string(kept) + " earlier output kept, " + std::to_string(complete) + " complete; "
           + std::to_string(leftovers) + " temporary files left behind");
    if (kills() >= 50) {
        EXPECT_GT(absent + kept, 0);
        EXPECT_GT(complete, 0);
    }
}

struct KeyFiles
{
    std::shared_ptr<ReverizRSA> privatePair;
    std::shared_ptr<ReverizRSA> publicPair;
};

// Both key files, each complete and loadable: the private one a whole pair, the public one without private key.
KeyFiles loadKeyFiles(const QString& directory)
{
    KeyFiles files;
    const auto load = [&](const char* name) {
        Json::Value json;
        FileUtilities::readJsonValue(directory + QLatin1Char('/') + QLatin1String(name), json, true);
        return ReverizRSA::fromJson(json);
    };
    EXPECT_NO_THROW({
        files.privatePair = load("protocolkey-private.key");
        files.publicPair = load("protocolkey-public.key");
        (void)files.privatePair->makeRSA(true);
    });
    if (files.publicPair) {
        EXPECT_TRUE(files.publicPair->privateKey().isEmpty());
    }
    return files;
}

TEST(CrashSafety, CreatedKeyFilesAreCompleteAndMatchUnlessKilledBetweenTheRenames)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QByteArray materials[] = {TestKeys::protocolPair().publicKey(), TestKeys::userPair().publicKey()};
    QString ignored;
    QTextStream err(&ignored);
    ASSERT_EQ(KeyUtility::createKey(TestKeys::serverUUID, err, directory.path(),
                                    [](const ReverizActor& owner) { return TestKeys::materialFor(owner); }),
              0);

    std::mt19937 random = seededRandom();
    std::uniform_int_distribution<int> delay(0, 50);
    int matching = 0;
    int betweenRenames = 0;
    int leftovers = 0;
    for (int kill = 0; kill < kills(); ++kill) {
        SCOPED_TRACE(kill);
        ASSERT_TRUE(runAndKill(writerProgram, {QStringLiteral("create"), directory.path()}, directory.path(),
                               delay(random), Clock::FromReady));
        leftovers += removeLeftovers(directory.path());
        const KeyFiles files = loadKeyFiles(directory.path());
        ASSERT_TRUE(files.privatePair && files.publicPair);
        ASSERT_TRUE(std::count(std::begin(materials), std::end(materials), files.privatePair->publicKey()) == 1);
        if (files.publicPair->publicKey() == files.privatePair->publicKey()) {
            ++matching;
            continue;
        }
        // The private file is renamed into place first: a kill between the two renames leaves the new private
        // key beside the public key of the pair before.
        ASSERT_TRUE(std::count(std::begin(materials), std::end(materials), files.publicPair->publicKey()) == 1);
        ++betweenRenames;
    }
    report(std::to_string(kills()) + " kills of a create loop: " + std::to_string(matching) + " matching pairs, "
           + std::to_string(betweenRenames) + " killed between the two renames (new private, old public), "
           + std::to_string(leftovers) + " temporary files left behind");
}

TEST(CrashSafety, KilledCreateCommandLeavesCompleteKeyFiles)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QStringList arguments = {QStringLiteral("create"), TestKeys::serverUUID};
    QElapsedTimer timer;
    timer.start();
    ASSERT_FALSE(runAndKill(keyUtility, arguments, directory.path(), 60000));
    const int runTime = static_cast<int>(timer.elapsed());
    KeyFiles before = loadKeyFiles(directory.path());
    ASSERT_TRUE(before.privatePair && before.publicPair);

    std::mt19937 random = seededRandom();
    std::uniform_int_distribution<int> delay(runTime / 2, runTime * 3 / 2);
    int unchanged = 0;
    int replaced = 0;
    int betweenRenames = 0;
    const int count = fromEnvironment("REVERIZ_CRASH_CREATE_KILLS", 4);
    for (int kill = 0; kill < count; ++kill) {
        SCOPED_TRACE(kill);
        runAndKill(keyUtility, arguments, directory.path(), delay(random));
        removeLeftovers(directory.path());
        const KeyFiles after = loadKeyFiles(directory.path());
        ASSERT_TRUE(after.privatePair && after.publicPair);
        const bool newPrivate = after.privatePair->publicKey() != before.privatePair->publicKey();
        const bool newPublic = after.publicPair->publicKey() != before.publicPair->publicKey();
        if (!newPrivate && !newPublic) {
            ++unchanged;
        } else if (after.publicPair->publicKey() == after.privatePair->publicKey()) {
            ++replaced;
        } else {
            // Only the private file was renamed into place.
            ASSERT_TRUE(newPrivate && !newPublic);
            ++betweenRenames;
        }
        before = after;
    }
    report(std::to_string(count) + " kills of create (a run takes about " + std::to_string(runTime)
           + " ms, mostly key generation): " + std::to_string(unchanged) + " unchanged, " + std::to_string(replaced)
           + " replaced, " + std::to_string(betweenRenames) + " killed between the two renames");
}

} // namespace
