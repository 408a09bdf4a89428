// The tools through the real binaries while chosen system calls fail (strace's fault injection) or memory runs out
// (prlimit): each failure ends with its own message and status, and no file is left half changed. Skipped with a
// message where strace is missing.

#include "common/encryption/encryptedlogfile.h"
#include "support/fileprobes.h"
#include "support/processrunner.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <QDir>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <string>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
#else
constexpr bool sanitized = false;
#endif

const QString keyUtility = QStringLiteral(KEYUTILITY_PATH);
const QString encryptLog = QStringLiteral(ENCRYPTLOG_PATH);
const QByteArray plainLog("2026-12-09 12:00:00 INFO fault injection\n");
const QString& uuid = TestKeys::serverUUID;
const QString privateName = QStringLiteral("protocolkey-private.key");
const QString publicName = QStringLiteral("protocolkey-public.key");

// The directory a row runs in: a private key file "key" and its public half "pub", a log "log.json" for them,
// the plain text "plain", and an earlier pair of create's key files.
void prepare(const QString& directory)
{
    const QMap<QString, QByteArray> files = {
        {"key", TestKeys::read("protocol-private.key")},
        {"pub", TestKeys::read("protocol-public.key")},
        {"plain", plainLog},
        {privateName, TestKeys::read("user-private.key")},
        {publicName, TestKeys::read("user-public.key")},
    };
    for (auto file = files.cbegin(); file != files.cend(); ++file)
        EXPECT_TRUE(FileProbes::put(directory + '/' + file.key(), file.value()));
    const ProcessResult made = runProcess(encryptLog, {"pub", "plain", "log.json"}, QByteArray(), directory);
    EXPECT_EQ(made.status, 0) << made.err.toStdString();
}

// Every entry of directory with its bytes.
QMap<QString, QByteArray> snapshot(const QString& directory)
{
    QMap<QString, QByteArray> entries;
    for (const QString& name : FileProbes::entries(directory))
        entries[name] = FileProbes::content(directory + '/' + name);
    return entries;
}

// LeakSanitizer cannot stop the threads of a traced process; the leak check is left to the untraced tests.
QProcessEnvironment untracedLeakCheck()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString options = environment.value("ASAN_OPTIONS");
    environment.insert("ASAN_OPTIONS", options + (options.isEmpty() ? "" : ":") + "detect_leaks=0");
    return environment;
}

QStringList strace(const QString& injection)
{
    return {"strace", "-f", "-o", "/dev/null", "-e", "inject=" + injection, "--"};
}

TEST(FaultInjection, EveryFailureIsNamedAndLeavesTheFilesWhole)
{
    if (!hasProgram("strace"))
        GTEST_SKIP() << "strace is missing: the fault-injection table needs it";
    const QStringList create = {keyUtility, "create", uuid};
    const QStringList decrypt = {keyUtility, "decrypt", "-o", "out", "key", "log.json"};
    const QStringList batch = {keyUtility, "decrypt", "-j", "4", "key", "a.json", "b.json", "c.json", "d.json"};
    const QString syncFailure = "Could not write key file: %1: cannot sync %1: Input/output error\n";
    const struct
    {
        const char* name;
        QStringList command; // the wrapper, then the tool and its arguments
        int status;
        QString err; // a pattern for the whole of standard error
        QStringList changed = {}; // entries that may appear or change; all others stay byte for byte
        bool underAddressLimit = false;
    } rows[] = {
        // create with an earlier pair in place: after a failure the earlier pair, byte for byte.
        {"create_private_sync", strace("fsync:error=EIO:when=1") + create, 1,
         QRegularExpression::escape(syncFailure.arg(privateName))},
        {"create_public_sync_before_any_rename", strace("fsync:error=EIO:when=2") + create, 1,
         QRegularExpression::escape(syncFailure.arg(publicName))},
        {"create_public_rename_puts_the_earlier_private_file_back", strace("rename:error=EIO:when=2") + create, 1,
         QRegularExpression::escape(
             QStringLiteral("Could not write key file: %1: cannot rename to %1: Input/output error\n")
                 .arg(publicName))},
        {"create_earlier_file_that_cannot_be_put_back_is_named",
         strace("rename:error=EIO:when=2+") + create,
         1,
         QRegularExpression::escape(
             QStringLiteral("Could not write key file: %1: cannot rename to %1: Input/output error\n").arg(publicName))
             + "keyutility: the key pair is mixed: cannot put back protocolkey-private\\.key \\(the earlier file is "
               "protocolkey-private\\.key\\.tmp-\\w{6}\\): Input/output error\n",
         {privateName, "protocolkey-private.key.tmp-*"}},
        {"create_directory_sync_after_both_renames_keeps_the_new_pair",
         strace("fsync:error=EIO:when=3") + create,
         1,
         "Could not write key file: protocolkey-public.key: cannot sync directory .*: Input/output error\n"
         "keyutility: the new key pair is in place, but might not survive a system crash\n",
         {privateName, publicName}},
        {"create_unremovable_temporary_file_is_named",
         QStringList {"strace", "-f", "-o", "/dev/null", "-e", "inject=fsync:error=EIO:when=1", "-e",
                      "inject=unlink:error=EACCES", "--"}
             + create,
         1,
         QRegularExpression::escape(syncFailure.arg(privateName))
             + "keyutility: could not remove the temporary file protocolkey-private\\.key\\.tmp-\\w{6}: "
               "Permission denied; remove it by hand\n"
               "keyutility: could not remove the temporary file protocolkey-public\\.key\\.tmp-\\w{6}: "
               "Permission denied; remove it by hand\n",
         {"protocolkey-*.key.tmp-*"}},
        {"create_random_source", strace("getrandom:error=EAGAIN") + create, 1,
         "Could not generate key: the random source failed: .+\n"},
        // decrypt and encryptlog
        {"decrypt_random_source", strace("getrandom:error=EAGAIN") + decrypt, 1,
         "Could not decrypt file: the random source failed: .+\n"},
        {"encryptlog_random_source", strace("getrandom:error=EAGAIN") + QStringList {encryptLog, "pub", "plain", "o"},
         1, "Could not encrypt plain: the random source failed: .+\n"},
        {"decrypt_fstat_of_the_log",
         QStringList {"strace", "-f", "-o", "/dev/null", "-P", "%/log.json", "-e",
                      "inject=fstat,newfstatat,statx:error=EIO", "--"}
             + decrypt,
         1, "Could not decrypt file: cannot examine log\\.json: Input/output error\n"},
        {"decrypt_batch_without_threads",
         strace("clone,clone3:error=EAGAIN") + batch,
         0,
         "",
         {"a.json.decrypted", "b.json.decrypted", "c.json.decrypted", "d.json.decrypted"}},
        // Standard output is a file here, so that only its writes are chosen (-P), and the first of them fails.
        {"decrypt_to_a_standard_output_that_is_full_for_now",
         QStringList {"sh", "-c", "exec \"$@\" >stdout", "sh", "strace", "-f", "-o", "/dev/null", "-P", "%/stdout",
                      "-e", "inject=write:error=EAGAIN:when=1", "--", keyUtility, "decrypt", "-o", "-", "key",
                      "log.json"},
         0,
         "",
         {"stdout"}},
        // Exhausted memory: the message, never an abort, and no temporary file.
        {"decrypt_out_of_memory",
         QStringList {"prlimit", "--as=134217728", "--", keyUtility, "decrypt", "key", "big"},
         1,
         "keyutility: out of memory\n",
         {},
         true},
        {"decrypt_batch_out_of_memory",
         QStringList {"prlimit", "--as=167772160", "--"} + batch.mid(0, 5) + QStringList {"big", "big2"},
         1,
         "keyutility: big: out of memory\nkeyutility: big2: out of memory\n",
         {},
         true},
        {"encryptlog_out_of_memory",
         QStringList {"prlimit", "--as=134217728", "--", encryptLog, "pub", "bigplain", "o"},
         1,
         "encryptlog: out of memory\n",
         {},
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.underAddressLimit && sanitized) {
            std::cout << "skipped " << row.name << ": a sanitizer's shadow memory does not fit an address limit\n";
            continue;
        }
        QTemporaryDir directory;
        ASSERT_TRUE(directory.isValid());
        prepare(directory.path());
        for (const char* name : {"a.json", "b.json", "c.json", "d.json"})
            ASSERT_TRUE(QFile::copy(directory.filePath("log.json"), directory.filePath(name)));
        // Larger than any address limit below lets them be read, without taking room on disk.
        for (const auto& [name, size] : {std::pair {"big", Reveriz::EncryptedLogFile::MaximumFileSize},
                                         {"big2", Reveriz::EncryptedLogFile::MaximumFileSize},
                                         {"bigplain", Reveriz::EncryptedLogFile::MaximumPlainSize}}) {
            ASSERT_TRUE(FileProbes::put(directory.filePath(name), QByteArray()));
            ASSERT_TRUE(QFile::resize(directory.filePath(name), size));
        }
        const QMap<QString, QByteArray> before = snapshot(directory.path());

        QStringList command = row.command;
        command.replaceInStrings(QRegularExpression("^%"), directory.path());
        const ProcessResult result =
            runProcess(command.first(), command.mid(1), QByteArray(), directory.path(), untracedLeakCheck());
        ASSERT_TRUE(result.ran) << "no normal exit: a signal or a minute's hang";
        EXPECT_EQ(result.status, row.status);
        EXPECT_TRUE(QRegularExpression(QRegularExpression::anchoredPattern(row.err)).match(result.err).hasMatch())
            << result.err.toStdString();
        EXPECT_EQ(result.out, QByteArray());

        const QMap<QString, QByteArray> after = snapshot(directory.path());
        const auto mayChange = [&row](const QString& name) {
            return std::any_of(row.changed.cbegin(), row.changed.cend(), [&name](const QString& pattern) {
                return QRegularExpression::fromWildcard(pattern).match(name).hasMatch();
            });
        };
        for (auto entry = after.cbegin(); entry != after.cend(); ++entry) {
            if (!mayChange(entry.key())) {
                EXPECT_TRUE(before.contains(entry.key()) && before[entry.key()] == entry.value())
                    << entry.key().toStdString() << " appeared or changed";
            }
        }
        for (const QString& name : row.changed) {
            if (!name.contains('*')) {
                EXPECT_TRUE(after.contains(name) && after[name] != before.value(name)) << name.toStdString();
            }
        }
        for (auto entry = before.cbegin(); entry != before.cend(); ++entry)
            EXPECT_TRUE(after.contains(entry.key())) << entry.key().toStdString() << " is gone";
        for (const QString& name : row.changed.filter(QRegularExpression("\\.decrypted$|^stdout$")))
            EXPECT_EQ(after[name], plainLog);
    }
}

// What the calls of one traced run did, in order: the system call's name and its text.
struct Call
{
    QString name;
    QString text;
};

// The atomic replacements promise durability: each published file's data is synced before the rename that
// publishes it, and the directory is synced after the last rename. (decrypt's plain output, which can be made
// again, is by design not synced.)
TEST(FaultInjection, EachFileIsSyncedBeforeItsRenameAndTheDirectoryAfter)
{
    if (!hasProgram("strace"))
        GTEST_SKIP() << "strace is missing: the durability check needs it";
    const struct
    {
        const char* name;
        QStringList command;
        QStringList published;
    } rows[] = {
        {"create", {keyUtility, "create", uuid}, {privateName, publicName}},
        {"rewrap", {keyUtility, "rewrap", "key", "pub", "log.json", "out.json"}, {"out.json"}},
        {"encryptlog", {encryptLog, "pub", "plain", "out.json"}, {"out.json"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir directory;
        prepare(directory.path());
        const QString trace = directory.filePath("trace");
        const ProcessResult result =
            runProcess("strace",
                       QStringList {"-f", "-o", trace, "-e", "trace=openat,fsync,fdatasync,rename,renameat,renameat2"}
                           + row.command,
                       QByteArray(), directory.path(), untracedLeakCheck());
        ASSERT_EQ(result.status, 0) << result.err.toStdString();

        // The path each descriptor was opened for, and whether it was synced since.
        const QRegularExpression openat(R"re(openat\(AT_FDCWD, "([^"]*)", ([A-Z_|]+).*\) = (\d+))re");
        const QRegularExpression sync(R"re(f(?:data)?sync\((\d+)\) += 0)re");
        const QRegularExpression rename(R"re(rename(?:at2?)?\((?:AT_FDCWD, )?"([^"]*)", (?:AT_FDCWD, )?"([^"]*)")re");
        QMap<QString, QString> openedAs;
        QSet<QString> synced;
        QStringList renamed;
        bool directorySyncedAfterRenames = false;
        for (const QString& line : QString::fromUtf8(FileProbes::content(trace)).split('\n')) {
            if (const auto match = openat.match(line); match.hasMatch()) {
                openedAs[match.captured(3)] =
                    match.captured(2).contains("O_DIRECTORY") ? "<directory>" : match.captured(1);
            } else if (const auto match = sync.match(line); match.hasMatch()) {
                synced.insert(openedAs.value(match.captured(1)));
                directorySyncedAfterRenames = directorySyncedAfterRenames
                    || (!renamed.isEmpty() && openedAs.value(match.captured(1)) == "<directory>");
            } else if (const auto match = rename.match(line); match.hasMatch()) {
                EXPECT_TRUE(synced.contains(match.captured(1))) << "renamed unsynced: " << line.toStdString();
                renamed << match.captured(2);
                directorySyncedAfterRenames = false;
            }
        }
        EXPECT_EQ(renamed, row.published);
        EXPECT_TRUE(directorySyncedAfterRenames) << "no directory sync after the last rename";
    }
}

} // namespace
