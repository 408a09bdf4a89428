#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "support/fakecatalogue.h"
#include "support/fileprobes.h"
#include "support/qtprinters.h"
#include "support/readfailures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <typeinfo>

namespace {

using namespace FileProbes;

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

TEST(FileUtilities, SafeReplaceSwapsInANewFileAndPlainWritesTruncateInPlace)
{
    QTemporaryDir dir;
    const QString t = dir.filePath("t");
    FileUtilities::writeByteArray(dir.filePath("a/b/new.key"), "content", /*safeReplace=*/true);
    EXPECT_EQ(content(dir.filePath("a/b/new.key")), "content");
    EXPECT_EQ(entries(dir.filePath("a/b")), QStringList {"new.key"});

    ASSERT_TRUE(put(t, "old content, longer than the new one"));
    ASSERT_TRUE(put(t + ".tempreplace", "a companion left behind by a failed replacement, longer than anything new"));
    QFile reader(t);
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    FileUtilities::writeByteArray(t, "new", /*safeReplace=*/true);
    EXPECT_EQ(content(t), "new");
    // A reader of the old file still sees it whole: the file was swapped, not rewritten in place.
    EXPECT_EQ(reader.readAll(), "old content, longer than the new one");

    QFile inPlaceReader(t);
    ASSERT_TRUE(inPlaceReader.open(QIODevice::ReadOnly));
    FileUtilities::writeByteArray(t, "n", /*safeReplace=*/false);
    EXPECT_EQ(inPlaceReader.readAll(), "n");
    for (const bool safeReplace : {true, false}) {
        FileUtilities::writeByteArray(t, QByteArray(), safeReplace);
        EXPECT_EQ(content(t), QByteArray());
    }
    EXPECT_EQ(entries(dir.path()), (QStringList {"a", "t"}));
}

TEST(FileUtilities, WriteFailuresNameTheirStep)
{
    QTemporaryDir dir;
    const QString d = dir.filePath("d");
    ASSERT_TRUE(QDir(dir.path()).mkdir("d"));
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(d, "x", false); }, 4002, "LRC2137", d, true));
    // Replacing writes the companion, then cannot rename a file over a directory; the companion stays.
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(d, "x", true); }, 4009, "LRC2037", d, true));
    EXPECT_EQ(content(d + ".tempreplace"), "x");
    ASSERT_TRUE(put(dir.filePath("plain"), "a regular file in the way"));
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::writeByteArray(dir.filePath("plain/sub/x"), "x", true); }, 4004,
                                "LRC2137", dir.filePath("plain/sub"), true));
}

TEST(FileUtilities, ReadsMoveALoneCompanionIntoPlaceOnlyWhenAsked)
{
    QTemporaryDir dir;
    const QString k = dir.filePath("k");
    QByteArray data;
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readByteArray(k, data, true); }, 4001, "LRC1112039",
                                k + ".tempreplace", false));
    ASSERT_TRUE(put(k + ".tempreplace", "saved"));
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readByteArray(k, data, false); }, 4001, "LRC1112039",
                                k + ".tempreplace", false));
    EXPECT_EQ(entries(dir.path()), QStringList {"k.tempreplace"});
    FileUtilities::readByteArray(k, data, true);
    EXPECT_EQ(data, "saved");
    EXPECT_EQ(entries(dir.path()), QStringList {"k"});

    // A path that cannot be opened; the catalogue text gets the name for its placeholder.
    const FakeCatalogue catalogue({{"FileUtilities/LRC2040", "cannot read %1:"}});
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readByteArray(k + "/x", data, true); }, 4001,
                                "cannot read " + k + "/x:", k + "/x", /*described=*/true));
    // Beside an existing target the companion is neither read nor removed.
    ASSERT_TRUE(put(k + ".tempreplace", "other"));
    FileUtilities::readByteArray(k, data, true);
    EXPECT_EQ(data, "saved");
    EXPECT_EQ(content(k + ".tempreplace"), "other");
}

// Only regular files are read, and only up to the size asked for; the refusal comes before anything is read, or
// before reading further, so an endless device or file cannot hang or exhaust the reader.
TEST(FileUtilities, ReadsRefuseAnythingButRegularFilesOfTheirSize)
{
    QTemporaryDir dir;
    ASSERT_TRUE(put(dir.filePath("eleven"), "eleven byte"));
    const std::pair<QString, QString> refused[] = {
        {"/dev/zero", "not a regular file: /dev/zero"},
        {dir.filePath("eleven"), "file too large: " + dir.filePath("eleven") + " (more than 10 bytes)"},
        {"/proc/self/maps", "file too large: /proc/self/maps (more than 10 bytes)"},
        {dir.filePath("caf") + QChar(0xDCE9), "file name is not valid UTF-8: " + dir.filePath("caf") + QChar(0xDCE9)},
    };
    for (const auto& [path, message] : refused) {
        QByteArray data;
        try {
            FileUtilities::readByteArray(path, data, true, 10);
            ADD_FAILURE() << path.toStdString() << " was read";
        } catch (const InputRefusedException& e) {
            EXPECT_EQ(e.message(), message);
        }
    }
}

// The read failures that decrypt meets too (tests/tools/keyutility), through both readers.
TEST(FileUtilities, ReadFailuresGiveTheirCodes)
{
    for (const ReadFailures::Row& row : ReadFailures::rows()) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("file.json");
        ASSERT_TRUE(put(path, "{\"read\": true}"));
        row.make(path);
        for (const bool json : {false, true}) {
            QByteArray data;
            Json::Value value;
            const auto read = [&] {
                if (json)
                    FileUtilities::readJsonValue(path, value, true, 1 << 20);
                else
                    FileUtilities::readByteArray(path, data, true, 1 << 20);
            };
            if (row.code > 0) {
                EXPECT_TRUE(throwsFileError(read, row.code, row.text, path + row.idSuffix, row.described));
                continue;
            }
            try {
                read();
                EXPECT_EQ(row.code, 0) << "read";
                EXPECT_TRUE(json ? value["read"].asBool() : data == "{\"read\": true}");
            } catch (const InputRefusedException& e) {
                EXPECT_EQ(row.code, -1);
                EXPECT_EQ(e.message(), QString::fromLatin1(row.text).arg(path));
            }
        }
    }
}

TEST(FileUtilities, JsonIsWrittenCompactlyAndReadPermissively)
{
    QTemporaryDir dir;
    const QString j = dir.filePath("j");
    Json::Value value(Json::objectValue);
    value["text"] = "line\nbreak";
    value["list"].append(1);
    FileUtilities::writeJsonValue(j, value, true);
    EXPECT_EQ(content(j), "{\"list\":[1],\"text\":\"line\\nbreak\"}\n");
    ASSERT_TRUE(put(j, "// by hand\n\"bare string\""));
    FileUtilities::readJsonValue(j, value, false);
    EXPECT_EQ(value, Json::Value("bare string"));
    ASSERT_TRUE(put(j, "{\"a\": [1, 2"));
    EXPECT_TRUE(throwsFileError([&] { FileUtilities::readJsonValue(j, value, false); }, 4006, "LRC3110", j, false));
}

TEST(PathTools, CombinePathJoinsWithOneSeparatorAndEraseKeepsAsciiLettersDigitsAndSpaces)
{
    const std::pair<QStringList, QString> rows[] = {
        {{"a", "b"}, "a/b"},         {{"a/", "b"}, "a/b"}, {{"a", "/b"}, "a/b"},         {{"a/", "/b"}, "a//b"},
        {{"", "a", "", "b"}, "a/b"}, {{"/", "x"}, "/x"},   {{"a", ".", ".."}, "a/./.."}, {{}, ""},
    };
    for (const auto& [parts, expected] : rows)
        EXPECT_EQ(PathTools::combinePath(parts), expected) << parts.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(PathTools::eraseDangerousCharacters("a b-1_c.dZ9"), "a b1cdZ9");
    EXPECT_EQ(PathTools::eraseDangerousCharacters("Ünïcödé../-_:*?\"<>|\\\t\n"), "ncd");
}

TEST(PathTools, CreateEmptyFileSetsTheLength)
{
    QTemporaryDir dir;
    EXPECT_FALSE(PathTools::createEmptyFile(dir.filePath("missing/f"), 10));
    EXPECT_TRUE(entries(dir.path()).isEmpty());
    EXPECT_TRUE(PathTools::createEmptyFile(dir.filePath("new"), 2));
    EXPECT_EQ(content(dir.filePath("new")), QByteArray(2, '\0'));
    ASSERT_TRUE(put(dir.filePath("f"), "abcdef"));
    EXPECT_TRUE(PathTools::createEmptyFile(dir.filePath("f"), 3));
    EXPECT_EQ(content(dir.filePath("f")), "abc");
    EXPECT_TRUE(PathTools::createEmptyFile(dir.filePath("f"), 5));
    EXPECT_EQ(content(dir.filePath("f")), QByteArray("abc\0\0", 5));
}

} // namespace
