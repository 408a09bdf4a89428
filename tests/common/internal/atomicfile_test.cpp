#include "common/internal/atomicfile.h"
#include "support/fileprobes.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace Reveriz::Internal;

namespace {

using namespace FileProbes;
using Permissions = AtomicFile::Permissions;

TEST(AtomicFile, CommitReplacesTheTargetAndLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("t");
    QByteArray previous = "<unreadable>";
    for (const QByteArray& data : {QByteArray("old content that is longer"), QByteArray(100000, 'x'), QByteArray()}) {
        AtomicFile file(target);
        ASSERT_TRUE(file.open(Permissions::Public));
        EXPECT_TRUE(file.temporaryPath().startsWith(target + ".tmp-"));
        ASSERT_TRUE(file.write(data));
        EXPECT_EQ(content(target), previous); // untouched until commit
        ASSERT_TRUE(file.commit()) << file.errorString().toStdString();
        EXPECT_EQ(content(target), data);
        previous = data;
        EXPECT_EQ(entries(dir.path()), QStringList {"t"});
    }
}

// The mode of the written file for each kind of permissions and each file it replaces; the temporary file is
// 0600 until the commit whatever the outcome.
TEST(AtomicFile, ModeFollowsThePermissionsAndNeverTakesSpecialBitsOrLinkedModes)
{
    struct Row
    {
        const char* name;
        Permissions permissions;
        std::function<void(const QString& target)> prepare;
        mode_t expected;
    };
    const auto existing = [](mode_t mode) {
        return [mode](const QString& target) {
            ASSERT_TRUE(put(target, "old"));
            ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), mode), 0);
        };
    };
    const auto nothing = [](const QString&) {};
    const auto linkToOwnFile = [](const QString& target) {
        ASSERT_TRUE(put(target + ".real", "old"));
        ASSERT_EQ(::chmod(QFile::encodeName(target + ".real").constData(), 0644), 0);
        ASSERT_TRUE(QFile::link(target + ".real", target));
    };
    const Row rows[] = {
        {"private new", Permissions::OwnerOnly, nothing, 0600},
        {"private over 0644", Permissions::OwnerOnly, existing(0644), 0600},
        {"public new", Permissions::Public, nothing, 0640},
        {"public over set-user-ID", Permissions::Public, existing(04755), 0640},
        {"plain new", Permissions::PlainText, nothing, 0600},
        {"plain over own 0644", Permissions::PlainText, existing(0644), 0644},
        {"plain over own set-user-ID", Permissions::PlainText, existing(06775), 0775},
        {"plain over own sticky 0400", Permissions::PlainText, existing(01400), 0400},
        {"plain over a link to an own 0644", Permissions::PlainText, linkToOwnFile, 0600},
    };
    const mode_t previousUmask = ::umask(027);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString target = dir.filePath("t");
        row.prepare(target);
        AtomicFile file(target);
        ASSERT_TRUE(file.open(row.permissions) && file.write("new"));
        EXPECT_EQ(mode(file.temporaryPath()), 0600u);
        ASSERT_TRUE(file.commit()) << file.errorString().toStdString();
        EXPECT_FALSE(QFileInfo(target).isSymLink());
        EXPECT_EQ(mode(target), row.expected);
    }
    ::umask(previousUmask);
}

TEST(AtomicFile, PlainTextOverSomeoneElsesFileIsOwnerOnly)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a file to another user";
    QTemporaryDir dir;
    const QString target = dir.filePath("t");
    ASSERT_TRUE(put(target, "old"));
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 04755), 0);
    ASSERT_EQ(::chown(QFile::encodeName(target).constData(), 65534, 65534), 0);
    AtomicFile file(target);
    ASSERT_TRUE(file.open(Permissions::PlainText) && file.write("new") && file.commit());
    EXPECT_EQ(mode(target), 0600u);
}

TEST(AtomicFile, FailuresAndDiscardsKeepTheTargetAndLeaveNoTemporaryFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    {
        AtomicFile discarded(dir.filePath("sub"));
        ASSERT_TRUE(discarded.open(Permissions::Public) && discarded.write("x"));
    }
    AtomicFile file(dir.filePath("sub"));
    ASSERT_TRUE(file.open(Permissions::Public) && file.write("x"));
    EXPECT_FALSE(file.commit());
    EXPECT_TRUE(file.errorString().contains(dir.filePath("sub"))) << file.errorString().toStdString();
    EXPECT_TRUE(QFileInfo(dir.filePath("sub")).isDir());
    EXPECT_EQ(entries(dir.path()), QStringList {"sub"});

    AtomicFile missing(dir.filePath("no/such/dir/t"));
    EXPECT_FALSE(missing.open(Permissions::Public));
    EXPECT_TRUE(missing.errorString().contains(dir.filePath("no/such/dir/t"))) << missing.errorString().toStdString();
    EXPECT_FALSE(missing.write("x") || missing.commit());

    // A name whose bytes were not UTF-8 is never written under another name.
    AtomicFile invalid(dir.filePath("caf") + QChar(0xDCE9));
    EXPECT_FALSE(invalid.open(Permissions::Public));
    EXPECT_TRUE(invalid.errorString().startsWith("file name is not valid UTF-8: "))
        << invalid.errorString().toStdString();
    EXPECT_EQ(entries(dir.path()), QStringList {"sub"});
}

TEST(AtomicFile, DanglingSymlinkIsReplacedNotFollowed)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::link(dir.filePath("elsewhere"), dir.filePath("link")));
    AtomicFile file(dir.filePath("link"));
    ASSERT_TRUE(file.open(Permissions::PlainText) && file.write("x") && file.commit());
    EXPECT_EQ(entries(dir.path()), QStringList {"link"});
    EXPECT_EQ(content(dir.filePath("link")), "x");
    EXPECT_FALSE(QFileInfo(dir.filePath("link")).isSymLink());
}

// A target of the longest legal name still gets a temporary file, its name cut at a character boundary.
TEST(AtomicFile, TemporaryNameFitsTheNameLimit)
{
    QTemporaryDir dir;
    for (const QString& name :
         {QString(255, QLatin1Char('n')), QString(243, QLatin1Char('n')) + QString(4, QChar(0xE9))}) {
        const QString target = dir.filePath(name);
        AtomicFile file(target);
        ASSERT_TRUE(file.open(Permissions::Public)) << file.errorString().toStdString();
        const QByteArray temporaryName = QFile::encodeName(QFileInfo(file.temporaryPath()).fileName());
        EXPECT_LE(temporaryName.size(), 255);
        EXPECT_EQ(QString::fromUtf8(temporaryName).toUtf8(), temporaryName); // no character cut in two
        ASSERT_TRUE(file.write("x") && file.commit()) << file.errorString().toStdString();
        EXPECT_EQ(content(target), "x");
        ASSERT_TRUE(QFile::remove(target));
    }
}

// Private device nodes, never the real /dev: a copy of /dev/null (1, 3) or /dev/full (1, 7), or of a block device.
bool makeNode(const QString& path, mode_t kind, unsigned int major, unsigned int minor)
{
    return ::mknod(QFile::encodeName(path).constData(), kind | 0666, ::makedev(major, minor)) == 0;
}

bool makeSocket(const QString& path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), std::min<std::size_t>(name.size(), sizeof address.sun_path - 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

// How each kind of target is written, or why it is refused; deciding changes nothing.
TEST(OutputFile, PlacementFollowsTheKindOfTheTarget)
{
    using Placement = OutputFile::Placement;
    struct Row
    {
        const char* name;
        std::function<bool(const QString& target)> prepare; // false: the node cannot be made here
        std::optional<Placement> placement;
        QString refusal = {}; // with %1 for the target
    };
    const auto fifo = [](const QString& t) { return ::mkfifo(QFile::encodeName(t).constData(), 0600) == 0; };
    const Row rows[] = {
        {"missing", [](const QString&) { return true; }, Placement::Replaced},
        {"regular file", [](const QString& t) { return put(t, "x"); }, Placement::Replaced},
        {"dangling link", [](const QString& t) { return QFile::link(t + ".none", t); }, Placement::Replaced},
        {"link to a regular file",
         [](const QString& t) { return put(t + ".real", "x") && QFile::link(t + ".real", t); }, Placement::Replaced},
        {"fifo", fifo, Placement::InPlace},
        {"character device", [](const QString& t) { return makeNode(t, S_IFCHR, 1, 3); }, Placement::InPlace},
        {"link to a character device",
         [](const QString& t) { return makeNode(t + ".null", S_IFCHR, 1, 3) && QFile::link(t + ".null", t); },
         Placement::InPlace},
        {"directory", [](const QString& t) { return QDir().mkdir(t); }, std::nullopt,
         "cannot rename to %1: Is a directory"},
        {"block device", [](const QString& t) { return makeNode(t, S_IFBLK, 7, 0); }, std::nullopt,
         "cannot write %1: not a regular file, character device or FIFO"},
        {"socket", makeSocket, std::nullopt, "cannot write %1: not a regular file, character device or FIFO"},
        {"another user's fifo in a sticky directory",
         [fifo](const QString& t) {
             return ::chmod(QFile::encodeName(QFileInfo(t).path()).constData(), 01777) == 0 && fifo(t)
                 && ::lchown(QFile::encodeName(t).constData(), 65534, 65534) == 0;
         },
         std::nullopt, "cannot write %1: a FIFO or device another user put there"},
        {"another user's link to a device in a sticky directory",
         [](const QString& t) {
             return ::chmod(QFile::encodeName(QFileInfo(t).path()).constData(), 01777) == 0
                 && makeNode(t + ".null", S_IFCHR, 1, 3) && QFile::link(t + ".null", t)
                 && ::lchown(QFile::encodeName(t).constData(), 65534, 65534) == 0;
         },
         Placement::Replaced},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString target = dir.filePath("t");
        if (!row.prepare(target)) {
            std::cout << "skipped " << row.name << ": the node cannot be made here\n";
            continue;
        }
        const QStringList before = entries(dir.path());
        QString error;
        EXPECT_EQ(OutputFile::placementOf(target, &error), row.placement);
        EXPECT_EQ(error, row.refusal.isEmpty() ? QString() : row.refusal.arg(target));
        EXPECT_EQ(entries(dir.path()), before);
    }
}

// Written in place, a device stays the node it was and its failures are reported; a FIFO's reader gets the data.
TEST(OutputFile, DevicesAndFifosAreWrittenInPlace)
{
    QTemporaryDir dir;
    const QString null = dir.filePath("null");
    const QString full = dir.filePath("full");
    if (!makeNode(null, S_IFCHR, 1, 3) || !makeNode(full, S_IFCHR, 1, 7))
        GTEST_SKIP() << "mknod is not permitted here";
    OutputFile toNull(null);
    ASSERT_TRUE(toNull.open(Permissions::PlainText) && toNull.write("x") && toNull.commit());
    EXPECT_EQ(toNull.placement(), OutputFile::Placement::InPlace);
    OutputFile toFull(full);
    ASSERT_TRUE(toFull.open(Permissions::PlainText));
    EXPECT_FALSE(toFull.write("x"));
    EXPECT_EQ(toFull.errorString(), "cannot write " + full + ": No space left on device");

    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QByteArray read;
    std::thread reader([&] { read = content(fifo); });
    OutputFile toFifo(fifo);
    EXPECT_TRUE(toFifo.open(Permissions::PlainText) && toFifo.write("through") && toFifo.commit());
    reader.join();
    EXPECT_EQ(read, "through");
    struct stat info = {};
    for (const QString& node : {null, full, fifo})
        EXPECT_TRUE(::lstat(QFile::encodeName(node).constData(), &info) == 0 && !S_ISREG(info.st_mode));
    EXPECT_EQ(entries(dir.path()), (QStringList {"fifo", "full", "null"}));
}

// An output is an input by any name that leads to the same file.
TEST(OutputFile, InputAmongFindsTheInputByAnyName)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("input");
    ASSERT_TRUE(put(input, "x") && put(dir.filePath("other"), "x"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("d") && QFile::link("..", dir.filePath("d/up")));
    ASSERT_TRUE(QFile::link(input, dir.filePath("symlink")));
    ASSERT_EQ(::link(QFile::encodeName(input).constData(), QFile::encodeName(dir.filePath("hard")).constData()), 0);
    const QStringList inputs = {dir.filePath("other"), input};
    for (const char* name : {"input", "d/up/input", "symlink", "hard"})
        EXPECT_EQ(OutputFile::inputAmong(dir.filePath(name), inputs), input) << name;
    EXPECT_EQ(OutputFile::inputAmong(dir.filePath("missing"), inputs), std::nullopt);
    // A missing input that its companion may yet restore.
    EXPECT_EQ(OutputFile::inputAmong(dir.filePath("d/up/missing"), {dir.filePath("missing")}), dir.filePath("missing"));
    EXPECT_EQ(OutputFile::inputAmong(dir.filePath("d"), inputs), std::nullopt);

    const int fd = ::open(QFile::encodeName(dir.filePath("hard")).constData(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(OutputFile::inputAmong(fd, inputs), input);
    ::close(fd);
}

} // namespace
