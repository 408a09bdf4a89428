#include "common/encryption/encryptedlogfile.h"
#include "common/encryption/internal/logfilereader.h"
#include "common/encryption/reverizrsa.h"
#include "common/exceptions/reverizexception.h"
#include "common/internal/jsontext.h"
#include "support/qtprinters.h"
#include "support/testkeys.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace Reveriz::Internal;

namespace {

std::string logDataOf(const LogFileReader::Parts& parts)
{
    return parts.logData ? std::string(parts.logData, parts.logDataSize) : std::string("<none>");
}

// The fast reader must agree with the permissive reader wherever it reads, and must read ordinary documents.
void expectSameAsPermissiveReader(const std::string& text, bool mustRead)
{
    SCOPED_TRACE(text.substr(0, 200));
    Json::Value document;
    const bool referenceReads = JsonText::parsePermissive(text.data(), text.data() + text.size(), document);

    std::string copy = text + '\0';
    const std::optional<LogFileReader::Parts> fast = LogFileReader::scanInPlace(copy.data(), text.size());
    ASSERT_TRUE(fast.has_value() || !mustRead) << "declined an ordinary document";
    if (!fast)
        return;
    ASSERT_TRUE(referenceReads) << "read text that the permissive reader refuses";
    QByteArray storage;
    const LogFileReader::Parts reference = LogFileReader::fromDocument(document, storage);
    EXPECT_EQ(fast->key, reference.key) << fast->key.toStyledString() << " vs " << reference.key.toStyledString();
    EXPECT_EQ(fast->key.type(), reference.key.type());
    EXPECT_EQ(logDataOf(*fast), logDataOf(reference));
}

const std::string envelope = R"({"data":"QUJD","encryptedfor":{"serverUUID":"s","type":"protocol"}})";

TEST(EncryptedLogFile, ReadsOrdinaryDocumentsLikeThePermissiveReader)
{
    const std::string documents[] = {
        R"({"key":)" + envelope + R"(,"logData":"QUJDRA=="})" + "\n",
        "{\n   \"key\" : " + envelope + ",\n   \"logData\" : \"QUJD\\nRA==\"\n}\n",
        R"({"logData":"QQ","key":)" + envelope + "}",
        R"({"key":1,"key":)" + envelope + R"(,"logData":"a","logData":"b"})",
        R"({"logData":"a","logData":5})",
        R"({"logData":"a","logData":{"x":1}})",
        R"({"key":{"a":{"x":1},"a":{"y":2},"n":[1,-0,3000000000,-3000000000,1.5,1e300,true,null]}})",
        R"({"key":{"s":"\u00e9\ud83d\ude00\udc00\/\\\"\u0000x"},"logData":"\u0051\u0051"})",
        R"({"other":[[[{"key":"not this one"}]]],"key":"x"})",
        R"({"key":{"d":"e"}} trailing words)",
        R"({"key":{"d":"e"}}{"key":2})",
        "{}",
        "{\"x\":" + std::string(200, '[') + std::string(200, ']') + "}",
    };
    for (const std::string& text : documents)
        expectSameAsPermissiveReader(text, true);
}

TEST(EncryptedLogFile, DeclinesWhatItCannotProveTheSame)
{
    const std::string documents[] = {
        "// comment\n{\"key\":1}",
        "{\"key\":1 /* c */}",
        "{\"key\":01}",
        "{\"key\":1.}",
        "{\"key\":1e-400}",
        "{\"key\":1e400}",
        "{\"key\":\"a\tb\"}",
        std::string(R"({"key":"a)"
                    "\0"
                    R"(b"})",
                    13),
        R"({"key":"\ud800"})",
        R"({"key":"\ud800\u0041"})",
        "{\"key\":[1,]}",
        "{'key':1}",
        "",
        "   ",
        "{\"key\":",
        "\xef\xbb\xbf{}",
        "{\"x\":" + std::string(2000, '[') + std::string(2000, ']') + "}",
        "[1,{\"key\":3}]",
        "\"bare\"",
        "12",
        "00e",
        "true",
    };
    for (const std::string& text : documents)
        expectSameAsPermissiveReader(text, false);
}

// Each bound of a log file at its value is taken, and one past it is refused; make's bound is the plain log's.
TEST(EncryptedLogFile, TakesEachBoundAndRefusesOnePast)
{
    using namespace Reveriz::EncryptedLogFile;
    const auto read = [](const QByteArray& text) { return [text] { (void)LogFile::read(text, "log.json"); }; };
    // The object, "x", the array and its numbers.
    const auto values = [&](qsizetype count) {
        return read(R"({"x":[)" + QByteArray("1,").repeated(count - 4) + "1]}");
    };
    const auto keyText = [&](qsizetype size) { return read(R"({"key":")" + QByteArray(size, 'k') + R"("})"); };
    // A comment: only the permissive reader reads it.
    const auto commented = [&](qsizetype size) { return read("//\n{}" + QByteArray(size - 5, ' ')); };
    const struct
    {
        const char* name;
        std::function<void()> run;
        QString refusal; // none: taken
    } rows[] = {
        {"values", values(MaximumValues), {}},
        {"values_one_past", values(MaximumValues + 1), "too many JSON values in log file: log.json (more than 65536)"},
        {"key_text", keyText(MaximumKeySize), {}},
        {"key_text_one_past", keyText(MaximumKeySize + 1),
         "key too large in log file: log.json (more than 65536 bytes)"},
        {"permissive_reader", commented(PermissiveReadLimit), {}},
        {"permissive_reader_one_past", commented(PermissiveReadLimit + 1), "LRC3111"},
        {"plain_log_one_past",
         [] {
             (void)make(std::make_shared<ReverizRSA>(TestKeys::protocolPair()), QByteArray(MaximumPlainSize + 1, '\0'));
         },
         "plain log too large: 134217729 bytes, at most 134217728"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        try {
            row.run();
            EXPECT_EQ(QString(), row.refusal);
        } catch (const ReverizException& e) {
            EXPECT_EQ(e.message(), row.refusal);
        }
    }
}

TEST(EncryptedLogFile, LogDataStaysInPlace)
{
    std::string text = R"({"logData":"QUJD","key":null})";
    text += '\0';
    const auto parts = LogFileReader::scanInPlace(text.data(), text.size() - 1);
    ASSERT_TRUE(parts.has_value());
    EXPECT_GE(parts->logData, text.data());
    EXPECT_LT(parts->logData, text.data() + text.size());
    EXPECT_TRUE(parts->key.isNull());
}

} // namespace
