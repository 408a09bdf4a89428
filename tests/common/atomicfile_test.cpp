#include "common/atomicfile.h"
#include "support/fileprobes.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
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

} // namespace
