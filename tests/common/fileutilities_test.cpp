#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "support/fakecatalogue.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <typeinfo>
#include <unistd.h>

namespace {

/**
 * Checks that call throws a plain ReverizException of the file utilities with code and id, whose details are the
 * bare catalogue key, followed by a space and the system's error text when described.
 */
::testing::AssertionResult throwsFileError(const std::function<void()>& call, int code, const QString& key,
                                           const QString& id, bool described)
{
    try {
        call();
    } catch (const ReverizException& e) {
        const bool detailsMatch = described
            ? e.details().startsWith(key + QLatin1Char(' ')) && e.details().size() > key.size() + 1
            : e.details() == key;
        if (typeid(e) == typeid(ReverizException) && e.name() == QLatin1String("FileUtilities") && e.errorCode() == code
            && detailsMatch && e.id() == id && e.idType().isEmpty() && e.path().isEmpty())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
            << typeid(e).name() << " " << e.name().toStdString() << " " << e.errorCode() << " details \""
            << e.details().toStdString() << "\" id \"" << e.id().toStdString() << "\"";
    }
    return ::testing::AssertionFailure() << "nothing was thrown";
}

class FileUtilitiesTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList entries(const QString& directory = QString()) const
    {
        return QDir(m_dir.filePath(directory)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
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

    QTemporaryDir m_dir;
};

TEST_F(FileUtilitiesTest, WritingANewFileCreatesItsDirectoriesAndNoCompanion)
{
    FileUtilities::writeByteArray(path("a/b/c/new.key"), "content", /*safeReplace=*/true);
    EXPECT_EQ(content(path("a/b/c/new.key")), "content");
    EXPECT_EQ(entries("a/b/c"), QStringList {QStringLiteral("new.key")});
}

TEST_F(FileUtilitiesTest, SafeReplaceSwapsInANewFileAndLeavesNoCompanion)
{
    put(path("t"), "old content, longer than the new one");
    QFile reader(path("t"));
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));

    FileUtilities::writeByteArray(path("t"), "new", /*safeReplace=*/true);

    EXPECT_EQ(content(path("t")), "new");
    EXPECT_EQ(entries(), QStringList {QStringLiteral("t")});
    // A reader that opened the old file still sees it whole: the file was replaced, not rewritten in place.
    EXPECT_EQ(reader.readAll(), "old content, longer than the new one");
}

TEST_F(FileUtilitiesTest, SafeReplaceOverwritesAStaleCompanion)
{
    put(path("t"), "old");
    put(path("t.tempreplace"), "a companion left behind by a failed replacement, longer than anything new");
    FileUtilities::writeByteArray(path("t"), "new", /*safeReplace=*/true);
    EXPECT_EQ(content(path("t")), "new");
    EXPECT_EQ(entries(), QStringList {QStringLiteral("t")});
}

TEST_F(FileUtilitiesTest, WithoutSafeReplaceAnExistingFileIsTruncatedInPlace)
{
    put(path("t"), "old content, longer than the new one");
    QFile reader(path("t"));
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));

    FileUtilities::writeByteArray(path("t"), "new", /*safeReplace=*/false);

    EXPECT_EQ(content(path("t")), "new");
    EXPECT_EQ(reader.readAll(), "new");
    EXPECT_EQ(entries(), QStringList {QStringLiteral("t")});
}

TEST_F(FileUtilitiesTest, EmptyDataCreatesOrEmptiesTheFile)
{
    for (const bool safeReplace : {true, false}) {
        for (const bool exists : {true, false}) {
            SCOPED_TRACE(::testing::Message() << "safeReplace " << safeReplace << ", exists " << exists);
            const QString file = path(QStringLiteral("e%1%2").arg(safeReplace).arg(exists));
            if (exists)
                put(file, "something");
            FileUtilities::writeByteArray(file, QByteArray(), safeReplace);
            EXPECT_TRUE(QFileInfo(file).isFile());
            EXPECT_EQ(content(file), QByteArray());
        }
    }
    EXPECT_EQ(entries().size(), 4);
}

TEST_F(FileUtilitiesTest, ATargetThatIsADirectoryCannotBeWritten)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("d")));
    const QString target = path("d");
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(target, "x", /*safeReplace=*/false); }, 4002,
                                QStringLiteral("LRC2137"), target, /*described=*/true));
    // Replacing writes the companion, then cannot rename a file over a directory.
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(target, "x", /*safeReplace=*/true); }, 4009,
                                QStringLiteral("LRC2037"), target, /*described=*/true));
    EXPECT_TRUE(QFileInfo(target).isDir());
    EXPECT_EQ(content(path("d.tempreplace")), "x");
}

TEST_F(FileUtilitiesTest, ADirectoryThatCannotBeCreatedNamesItsAbsolutePath)
{
    put(path("plain"), "a regular file in the way");
    EXPECT_TRUE(throwsFileError(
        [&] { FileUtilities::writeByteArray(path("plain/sub/x.key"), "x", /*safeReplace=*/true); }, 4004,
        QStringLiteral("LRC2137"), QDir(m_dir.path()).absoluteFilePath(QStringLiteral("plain/sub")),
        /*described=*/true));
}

TEST_F(FileUtilitiesTest, DeviceErrorsAreReportedByStep)
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")) || !QFileInfo::exists(QStringLiteral("/dev/null")))
        GTEST_SKIP() << "needs /dev/full and /dev/null";
    const QString full = QStringLiteral("/dev/full");
    const QString null = QStringLiteral("/dev/null");
    // A short write sits in the file's buffer until the flush; a long one reaches the device at once.
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(full, "x", false); }, 4007,
                                QStringLiteral("LRC2138"), full, /*described=*/true));
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(full, QByteArray(1 << 20, 'x'), false); }, 4004,
                                QStringLiteral("LRC2138"), full, /*described=*/true));
    // Character devices cannot be synced.
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(null, "x", false); }, 4008,
                                QStringLiteral("LRC2138"), null, /*described=*/false));
}

TEST_F(FileUtilitiesTest, AMissingFileWithoutCompanionNamesTheCompanion)
{
    for (const bool recover : {true, false}) {
        SCOPED_TRACE(recover);
        QByteArray data;
        EXPECT_TRUE(throwsFileError([&] { FileUtilities::readByteArray(path("missing"), data, recover); }, 4001,
                                    QStringLiteral("LRC1112039"), path("missing.tempreplace"), /*described=*/false));
    }
}

TEST_F(FileUtilitiesTest, RecoveryMovesALoneCompanionIntoPlace)
{
    put(path("k.tempreplace"), "saved");
    QByteArray data = "previous";
    FileUtilities::readByteArray(path("k"), data, /*recoverTempReplace=*/true);
    EXPECT_EQ(data, "saved");
    EXPECT_EQ(entries(), QStringList {QStringLiteral("k")});
    EXPECT_EQ(content(path("k")), "saved");
}

TEST_F(FileUtilitiesTest, WithoutRecoveryALoneCompanionIsLeftAlone)
{
    put(path("k.tempreplace"), "saved");
    QByteArray data;
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readByteArray(path("k"), data, false); }, 4001,
                                QStringLiteral("LRC1112039"), path("k.tempreplace"), /*described=*/false));
    EXPECT_EQ(entries(), QStringList {QStringLiteral("k.tempreplace")});
}

TEST_F(FileUtilitiesTest, AnExistingFileIsReadAndItsCompanionIgnored)
{
    put(path("k"), "current");
    put(path("k.tempreplace"), "other");
    QByteArray data;
    FileUtilities::readByteArray(path("k"), data, /*recoverTempReplace=*/true);
    EXPECT_EQ(data, "current");
    EXPECT_EQ(content(path("k.tempreplace")), "other");
}

TEST_F(FileUtilitiesTest, ReadFailuresAreReportedByStep)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("d")));
    QByteArray data;
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readByteArray(path("d"), data, true); }, 4001,
                                QStringLiteral("LRC2040"), path("d"), /*described=*/true));

    // Files of the process information pseudo-file system report a size of 0 but have content.
    const QString status = QStringLiteral("/proc/self/status");
    if (QFileInfo(status).size() != 0)
        GTEST_SKIP() << "needs a file whose reported size differs from its content";
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readByteArray(status, data, false); }, 4005,
                                QStringLiteral("LRC2140"), status, /*described=*/true));
}

TEST_F(FileUtilitiesTest, AFailedRecoveryKeepsTheCompanion)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may rename in a read-only directory";
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("ro")));
    put(path("ro/k.tempreplace"), "saved");
    const QString directory = path("ro");
    ASSERT_TRUE(QFile::setPermissions(directory, QFile::ReadOwner | QFile::ExeOwner));
    QByteArray data;
    const bool thrown = throwsFileError([&] { FileUtilities::readByteArray(path("ro/k"), data, true); }, 4009,
                                        QStringLiteral("LRC2037"), path("ro/k"), /*described=*/true);
    ASSERT_TRUE(QFile::setPermissions(directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_TRUE(thrown);
    EXPECT_EQ(entries("ro"), QStringList {QStringLiteral("k.tempreplace")});
}

TEST_F(FileUtilitiesTest, CatalogueTextsGetTheNameForTheirPlaceholder)
{
    const FakeCatalogue catalogue({
        {QStringLiteral("FileUtilities/LRC1112039"), QStringLiteral("no file %1")},
        {QStringLiteral("FileUtilities/LRC2040"), QStringLiteral("cannot read %1:")},
    });
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("d")));
    QByteArray data;
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readByteArray(path("x"), data, true); }, 4001,
                                QLatin1String("no file ") + path("x.tempreplace"), path("x.tempreplace"), false));
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readByteArray(path("d"), data, true); }, 4001,
                                QLatin1String("cannot read ") + path("d") + QLatin1Char(':'), path("d"), true));
}

TEST_F(FileUtilitiesTest, JsonIsReadPermissively)
{
    const struct
    {
        const char* name;
        QByteArray text;
        Json::Value expected;
    } rows[] = {
        {"comments", "// written by hand\n{\"a\": /* one */ 1}\n",
         [] {
             Json::Value object(Json::objectValue);
             object["a"] = 1;
             return object;
         }()},
        {"bare_string", "\"just text\"", Json::Value("just text")},
        {"bare_number", "  -12.5 ", Json::Value(-12.5)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        put(path("j"), row.text);
        Json::Value value;
        FileUtilities::readJsonValue(path("j"), value, false);
        EXPECT_EQ(value, row.expected);
    }
}

TEST_F(FileUtilitiesTest, TruncatedJsonIsRejected)
{
    put(path("j"), "{\"a\": [1, 2");
    Json::Value value;
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readJsonValue(path("j"), value, false); }, 4006,
                                QStringLiteral("LRC3110"), path("j"), /*described=*/false));
}

TEST_F(FileUtilitiesTest, JsonIsWrittenCompactlyWithOneFinalLineFeed)
{
    Json::Value value(Json::objectValue);
    value["text"] = "line\nbreak";
    value["list"].append(1);
    value["list"].append(true);
    FileUtilities::writeJsonValue(path("j"), value, true);
    EXPECT_EQ(content(path("j")), "{\"list\":[1,true],\"text\":\"line\\nbreak\"}\n");

    Json::Value readBack;
    FileUtilities::readJsonValue(path("j"), readBack, false);
    EXPECT_EQ(readBack, value);
}

TEST(PathTools, CombinePathJoinsWithOneSeparator)
{
    const struct
    {
        QStringList parts;
        QString expected;
    } rows[] = {
        {{"a", "b"}, "a/b"},
        {{"a/", "b"}, "a/b"},
        {{"a", "/b"}, "a/b"},
        {{"a/", "/b"}, "a//b"},
        {{"", "a", "", "b"}, "a/b"},
        {{"/", "x"}, "/x"},
        {{"a", ".", "..", "b"}, "a/./../b"},
        {{}, ""},
        {{"", ""}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.parts.join(QLatin1Char('|')).toStdString());
        EXPECT_EQ(PathTools::combinePath(row.parts), row.expected);
    }
}

TEST(PathTools, EraseDangerousCharactersKeepsAsciiLettersDigitsAndSpaces)
{
    const struct
    {
        QString text;
        QString expected;
    } rows[] = {
        {"ab-1_c.d", "ab1cd"},
        {"a b  C9", "a b  C9"},
        {QStringLiteral("Ünïcödé Zß"), "ncd Z"},
        {"../-_.:*?\"<>|\\/\t\n", ""},
        {"", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        EXPECT_EQ(PathTools::eraseDangerousCharacters(row.text), row.expected);
    }
}

TEST_F(FileUtilitiesTest, CreateEmptyFileSetsTheLength)
{
    EXPECT_FALSE(PathTools::createEmptyFile(path("missing/f"), 10));
    EXPECT_TRUE(entries().isEmpty());

    put(path("long"), QByteArray(100, 'x'));
    EXPECT_TRUE(PathTools::createEmptyFile(path("long"), 10));
    EXPECT_EQ(content(path("long")), QByteArray(10, 'x'));

    put(path("short"), "abc");
    EXPECT_TRUE(PathTools::createEmptyFile(path("short"), 6));
    EXPECT_EQ(content(path("short")), QByteArray("abc\0\0\0", 6));

    EXPECT_TRUE(PathTools::createEmptyFile(path("new"), 5));
    EXPECT_EQ(content(path("new")), QByteArray(5, '\0'));

    EXPECT_FALSE(PathTools::createEmptyFile(path("negative"), -1));
}

} // namespace
