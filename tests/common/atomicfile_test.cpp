#include "common/atomicfile.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class AtomicFileTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    }

    static QByteArray content(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    static void put(const QString& path, const QByteArray& data)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(data), data.size());
    }
    static mode_t modeOf(const QString& path)
    {
        struct stat info
        {
        };
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
    }

    QTemporaryDir m_dir;
};

TEST_F(AtomicFileTest, CommitReplacesTheTargetAndLeavesNoTemporaryFile)
{
    put(path("t"), "old content that is longer");
    AtomicFile file(path("t"));
    ASSERT_TRUE(file.open());
    EXPECT_TRUE(file.temporaryPath().startsWith(path("t.tmp-")));
    ASSERT_TRUE(file.write("new"));
    ASSERT_TRUE(file.write(QByteArray(100000, 'x')));
    EXPECT_EQ(content(path("t")), "old content that is longer"); // untouched until commit
    ASSERT_TRUE(file.commit()) << file.errorString().toStdString();
    EXPECT_EQ(content(path("t")), "new" + QByteArray(100000, 'x'));
    EXPECT_EQ(entries(), QStringList {QStringLiteral("t")});
}

TEST_F(AtomicFileTest, EmptyContentGivesAnEmptyFile)
{
    AtomicFile file(path("e"));
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.commit());
    EXPECT_TRUE(QFile::exists(path("e")));
    EXPECT_EQ(content(path("e")), QByteArray());
}

TEST_F(AtomicFileTest, ExactModeIgnoresUmaskAndTheOldFile)
{
    put(path("k"), "old");
    ASSERT_TRUE(QFile::setPermissions(path("k"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    const mode_t previous = ::umask(0);
    AtomicFile file(path("k"));
    const bool opened = file.open(0600);
    ::umask(previous);
    ASSERT_TRUE(opened);
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(modeOf(path("k")), 0600u);
}

TEST_F(AtomicFileTest, DefaultModeFollowsTheUmask)
{
    for (const mode_t mask : {mode_t(022), mode_t(077), mode_t(002)}) {
        SCOPED_TRACE(mask);
        const mode_t previous = ::umask(mask);
        const QString target = path(QStringLiteral("d%1").arg(mask));
        AtomicFile file(target);
        const bool opened = file.open();
        ::umask(previous);
        ASSERT_TRUE(opened);
        ASSERT_TRUE(file.commit());
        EXPECT_EQ(modeOf(target), 0666u & ~mask);
    }
}

TEST_F(AtomicFileTest, DefaultModeKeepsTheModeOfAReplacedFile)
{
    put(path("r"), "old");
    ASSERT_TRUE(QFile::setPermissions(path("r"), QFile::ReadOwner | QFile::WriteOwner));
    AtomicFile file(path("r"));
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(modeOf(path("r")), 0600u);
}

TEST_F(AtomicFileTest, DestroyingWithoutCommitKeepsTheTarget)
{
    put(path("t"), "old");
    {
        AtomicFile file(path("t"));
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write("new"));
    }
    EXPECT_EQ(content(path("t")), "old");
    EXPECT_EQ(entries(), QStringList {QStringLiteral("t")});
}

TEST_F(AtomicFileTest, MissingDirectoryFailsToOpen)
{
    AtomicFile file(path("no/such/dir/t"));
    EXPECT_FALSE(file.open());
    EXPECT_TRUE(file.errorString().contains(path("no/such/dir/t"))) << file.errorString().toStdString();
    EXPECT_FALSE(file.write("x"));
    EXPECT_FALSE(file.commit());
}

TEST_F(AtomicFileTest, TargetThatIsADirectoryFailsAtCommitAndCleansUp)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("sub")));
    put(path("sub/inner"), "keep");
    AtomicFile file(path("sub"));
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write("x"));
    EXPECT_FALSE(file.commit());
    EXPECT_TRUE(file.errorString().contains(path("sub"))) << file.errorString().toStdString();
    EXPECT_EQ(content(path("sub/inner")), "keep");
    EXPECT_EQ(entries(), QStringList {QStringLiteral("sub")});
}

TEST_F(AtomicFileTest, DanglingSymlinkIsReplacedNotFollowed)
{
    ASSERT_TRUE(QFile::link(path("elsewhere"), path("link")));
    AtomicFile file(path("link"));
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write("x"));
    ASSERT_TRUE(file.commit());
    EXPECT_FALSE(QFile::exists(path("elsewhere")));
    EXPECT_EQ(content(path("link")), "x");
    EXPECT_FALSE(QFileInfo(path("link")).isSymLink());
}

} // namespace
