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

namespace {

/**
 * Checks that call throws a plain ReverizException of the file utilities with code and id, whose details are
 * key, followed by a space and the system's error text when described.
 */
::testing::AssertionResult throwsFileError(const std::function<void()>& call, int code, const QString& key,
                                           const QString& id, bool described)
{
    try {
        call();
    } catch (const ReverizException& e) {
        const QString& details = e.details();
        const bool detailsMatch =
            described ? details.startsWith(key + QLatin1Char(' ')) && details.size() > key.size() + 1 : details == key;
        if (typeid(e) == typeid(ReverizException) && e.name() == QLatin1String("FileUtilities") && e.errorCode() == code
            && detailsMatch && e.id() == id && e.idType().isEmpty() && e.path().isEmpty())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
            << typeid(e).name() << " " << e.name().toStdString() << " " << e.errorCode() << " details \""
            << details.toStdString() << "\" id \"" << e.id().toStdString() << "\"";
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

TEST_F(FileUtilitiesTest, SafeReplaceSwapsInACompleteNewFile)
{
    FileUtilities::writeByteArray(path("a/b/new.key"), "content", /*safeReplace=*/true);
    EXPECT_EQ(content(path("a/b/new.key")), "content");
    EXPECT_EQ(entries("a/b"), QStringList {QStringLiteral("new.key")});

    put(path("t"), "old content, longer than the new one");
    put(path("t.tempreplace"), "a companion left behind by a failed replacement, longer than anything new");
    QFile reader(path("t"));
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    FileUtilities::writeByteArray(path("t"), "new", /*safeReplace=*/true);
    EXPECT_EQ(content(path("t")), "new");
    EXPECT_FALSE(QFile::exists(path("t.tempreplace")));
    // A reader of the old file still sees it whole: the file was swapped, not rewritten in place.
    EXPECT_EQ(reader.readAll(), "old content, longer than the new one");

    FileUtilities::writeByteArray(path("t"), QByteArray(), /*safeReplace=*/true);
    EXPECT_EQ(content(path("t")), QByteArray());
    EXPECT_EQ(entries(), (QStringList {QStringLiteral("a"), QStringLiteral("t")}));
}

TEST_F(FileUtilitiesTest, WithoutSafeReplaceTheFileIsTruncatedInPlace)
{
    put(path("t"), "old content, longer than the new one");
    QFile reader(path("t"));
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    FileUtilities::writeByteArray(path("t"), "new", /*safeReplace=*/false);
    EXPECT_EQ(reader.readAll(), "new");
    FileUtilities::writeByteArray(path("t"), QByteArray(), /*safeReplace=*/false);
    FileUtilities::writeByteArray(path("c/e"), QByteArray(), /*safeReplace=*/false);
    EXPECT_EQ(content(path("t")), QByteArray());
    EXPECT_EQ(content(path("c/e")), QByteArray());
    EXPECT_EQ(entries(), (QStringList {QStringLiteral("c"), QStringLiteral("t")}));
}

TEST_F(FileUtilitiesTest, WriteFailuresAreReportedByStep)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("d")));
    const QString directory = path("d");
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(directory, "x", false); }, 4002,
                                QStringLiteral("LRC2137"), directory, /*described=*/true));
    // Replacing writes the companion, then cannot rename a file over a directory; the companion stays.
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(directory, "x", true); }, 4009,
                                QStringLiteral("LRC2037"), directory, /*described=*/true));
    EXPECT_TRUE(QFileInfo(directory).isDir());
    EXPECT_EQ(content(path("d.tempreplace")), "x");

    put(path("plain"), "a regular file in the way");
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(path("plain/sub/x"), "x", true); }, 4004,
                                QStringLiteral("LRC2137"),
                                QDir(m_dir.path()).absoluteFilePath(QStringLiteral("plain/sub")),
                                /*described=*/true));

    const QString full = QStringLiteral("/dev/full");
    const QString null = QStringLiteral("/dev/null");
    if (!QFile::exists(full) || !QFile::exists(null))
        GTEST_SKIP() << "needs /dev/full and /dev/null";
    // A short write waits in the file's buffer until the flush; a long one reaches the device at once.
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(full, "x", false); }, 4007,
                                QStringLiteral("LRC2138"), full, /*described=*/true));
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(full, QByteArray(1 << 20, 'x'), false); }, 4004,
                                QStringLiteral("LRC2138"), full, /*described=*/true));
    // Character devices cannot be synced.
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(null, "x", false); }, 4008,
                                QStringLiteral("LRC2138"), null, /*described=*/false));
}

TEST_F(FileUtilitiesTest, ALoneCompanionIsMovedIntoPlaceOnlyWhenAsked)
{
    QByteArray data;
    for (const bool recover : {true, false}) {
        SCOPED_TRACE(recover);
        EXPECT_TRUE(throwsFileError([&] { FileUtilities::readByteArray(path("k"), data, recover); }, 4001,
                                    QStringLiteral("LRC1112039"), path("k.tempreplace"), /*described=*/false));
    }

    put(path("k.tempreplace"), "saved");
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readByteArray(path("k"), data, false); }, 4001,
                                QStringLiteral("LRC1112039"), path("k.tempreplace"), /*described=*/false));
    EXPECT_EQ(entries(), QStringList {QStringLiteral("k.tempreplace")});

    data = "previous";
    FileUtilities::readByteArray(path("k"), data, true);
    EXPECT_EQ(data, "saved");
    EXPECT_EQ(entries(), QStringList {QStringLiteral("k")});

    // Beside an existing target the companion is neither read nor removed.
    put(path("k.tempreplace"), "other");
    FileUtilities::readByteArray(path("k"), data, true);
    EXPECT_EQ(data, "saved");
    EXPECT_EQ(content(path("k.tempreplace")), "other");
}

TEST_F(FileUtilitiesTest, ReadFailuresAreReportedByStep)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("d")));
    QByteArray data;
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readByteArray(path("d"), data, true); }, 4001,
                                QStringLiteral("LRC2040"), path("d"), /*described=*/true));

    put(path("j"), "{\"a\": [1, 2");
    Json::Value value;
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readJsonValue(path("j"), value, false); }, 4006,
                                QStringLiteral("LRC3110"), path("j"), /*described=*/false));

    // Files of the process information file system report a size of 0 but have content.
    const QString status = QStringLiteral("/proc/self/status");
    if (!QFile::exists(status) || QFileInfo(status).size() != 0)
        GTEST_SKIP() << "needs a file whose reported size differs from its content";
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readByteArray(status, data, false); }, 4005,
                                QStringLiteral("LRC2140"), status, /*described=*/true));
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

TEST_F(FileUtilitiesTest, JsonIsWrittenCompactlyAndReadPermissively)
{
    Json::Value value(Json::objectValue);
    value["text"] = "line\nbreak";
    value["list"].append(1);
    FileUtilities::writeJsonValue(path("j"), value, true);
    EXPECT_EQ(content(path("j")), "{\"list\":[1],\"text\":\"line\\nbreak\"}\n");

    const struct
    {
        QByteArray text;
        Json::Value expected;
    } rows[] = {
        {"// by hand\n{\"list\": [1], /* note */ \"text\": \"line\\nbreak\"}", value},
        {"\"bare string\"", Json::Value("bare string")},
        {" -12.5 ", Json::Value(-12.5)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        put(path("j"), row.text);
        Json::Value read;
        FileUtilities::readJsonValue(path("j"), read, false);
        EXPECT_EQ(read, row.expected);
    }
}

TEST(PathTools, CombinePathJoinsWithOneSeparator)
{
    const struct
    {
        QStringList parts;
        QString expected;
    } rows[] = {
        {{"a", "b"}, "a/b"},         {{"a/", "b"}, "a/b"}, {{"a", "/b"}, "a/b"},         {{"a/", "/b"}, "a//b"},
        {{"", "a", "", "b"}, "a/b"}, {{"/", "x"}, "/x"},   {{"a", ".", ".."}, "a/./.."}, {{}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.parts.join(QLatin1Char('|')).toStdString());
        EXPECT_EQ(PathTools::combinePath(row.parts), row.expected);
    }
}

TEST(PathTools, EraseDangerousCharactersKeepsAsciiLettersDigitsAndSpaces)
{
    EXPECT_EQ(PathTools::eraseDangerousCharacters(QStringLiteral("ab-1_c.d")), "ab1cd");
    EXPECT_EQ(PathTools::eraseDangerousCharacters(QStringLiteral("a b  Z9")), "a b  Z9");
    EXPECT_EQ(PathTools::eraseDangerousCharacters(QStringLiteral("Ünïcödé")), "ncd");
    EXPECT_EQ(PathTools::eraseDangerousCharacters(QStringLiteral("../-_:*?\"<>|\\\t\n")), "");
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
}

} // namespace
