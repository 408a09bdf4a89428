#include "common/atomicfile.h"
#include "support/fileprobes.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace FileProbes;

TEST(AtomicFile, CommitReplacesTheTargetAndLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("t");
    QByteArray previous = "<unreadable>";
    for (const QByteArray& data : {QByteArray("old content that is longer"), QByteArray(100000, 'x'), QByteArray()}) {
        AtomicFile file(target);
        ASSERT_TRUE(file.open());
        EXPECT_TRUE(file.temporaryPath().startsWith(target + ".tmp-"));
        ASSERT_TRUE(file.write(data));
        EXPECT_EQ(content(target), previous); // untouched until commit
        ASSERT_TRUE(file.commit()) << file.errorString().toStdString();
        EXPECT_EQ(content(target), data);
        previous = data;
        EXPECT_EQ(entries(dir.path()), QStringList {"t"});
    }
}

// An exact mode (0600 for private keys) is checked through the key utility, under umask 0.
TEST(AtomicFile, DefaultModeFollowsTheUmask)
{
    QTemporaryDir dir;
    const mode_t previous = ::umask(027);
    AtomicFile file(dir.filePath("d"));
    const bool opened = file.open();
    ::umask(previous);
    ASSERT_TRUE(opened && file.commit());
    EXPECT_EQ(mode(dir.filePath("d")), 0640u);
}

// Narrowing a file's permissions once must not be undone by the next replacement.
TEST(AtomicFile, DefaultModeKeepsTheModeOfAReplacedFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("r");
    ASSERT_TRUE(put(target, "old"));
    ASSERT_TRUE(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
    AtomicFile file(target);
    ASSERT_TRUE(file.open() && file.commit());
    EXPECT_EQ(mode(target), 0600u);
}

TEST(AtomicFile, FailuresAndDiscardsKeepTheTargetAndLeaveNoTemporaryFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    {
        AtomicFile discarded(dir.filePath("sub"));
        ASSERT_TRUE(discarded.open() && discarded.write("x"));
    }
    AtomicFile file(dir.filePath("sub"));
    ASSERT_TRUE(file.open() && file.write("x"));
    EXPECT_FALSE(file.commit());
    EXPECT_TRUE(file.errorString().contains(dir.filePath("sub"))) << file.errorString().toStdString();
    EXPECT_TRUE(QFileInfo(dir.filePath("sub")).isDir());
    EXPECT_EQ(entries(dir.path()), QStringList {"sub"});

    AtomicFile missing(dir.filePath("no/such/dir/t"));
    EXPECT_FALSE(missing.open());
    EXPECT_TRUE(missing.errorString().contains(dir.filePath("no/such/dir/t"))) << missing.errorString().toStdString();
    EXPECT_FALSE(missing.write("x") || missing.commit());
}

TEST(AtomicFile, DanglingSymlinkIsReplacedNotFollowed)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::link(dir.filePath("elsewhere"), dir.filePath("link")));
    AtomicFile file(dir.filePath("link"));
    ASSERT_TRUE(file.open() && file.write("x") && file.commit());
    EXPECT_EQ(entries(dir.path()), QStringList {"link"});
    EXPECT_EQ(content(dir.filePath("link")), "x");
    EXPECT_FALSE(QFileInfo(dir.filePath("link")).isSymLink());
}

} // namespace
