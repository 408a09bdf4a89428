#include "common/encryption/encryptedlogfile.h"
#include "common/encryption/internal/logfilereader.h"
#include "common/encryption/reverizkeyidentifier.h"
#include "common/encryption/reverizrsa.h"
#include "common/exceptions/reverizexception.h"
#include "common/internal/jsontext.h"
#include "support/qtprinters.h"
#include "support/reference.h"
#include "support/testkeys.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
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

// One use of the API per row, on fresh input: what it returns or the message of what it throws, and how much of the
// plain log the sink took. Each bound of a log file at its value is taken, and one past it is refused.
TEST(EncryptedLogFile, Uses)
{
    using namespace Reveriz::EncryptedLogFile;
    const auto read = [](const QByteArray& text) {
        return [text] { return QString::number(LogFile::read(text, "log.json").logDataSize()); };
    };
    // The object, "x", the array and its numbers.
    const auto values = [&](qsizetype count) {
        return read(R"({"x":[)" + QByteArray("1,").repeated(count - 4) + "1]}");
    };
    const auto keyText = [&](qsizetype size) { return read(R"({"key":")" + QByteArray(size, 'k') + R"("})"); };
    // A comment: only the permissive reader reads it.
    const auto commented = [&](qsizetype size) { return read("//\n{}" + QByteArray(size - 5, ' ')); };

    const auto pair = std::make_shared<ReverizRSA>(TestKeys::protocolPair());
    const ReverizKey key(ReverizKeyIdentifier::createLogfileKeyIdentifier(), "0123456789abcdef", "aes-128-cbc", 16,
                         false);
    QByteArray plain;
    for (int line = 0; plain.size() < (3 << 20); ++line)
        plain += "2026-12-08 12:00:00 INFO line " + QByteArray::number(line) + "\n";
    QByteArray compressed = qCompress(plain, 1);
    compressed.back() ^= 1; // the zlib checksum, which only the end of the stream shows wrong
    const auto logFile = [&](const QByteArray& stored) {
        return LogFile::read(TestKeys::compact(TestKeys::logDocument(*pair, key.toJson(), stored)), "log.json");
    };
    const QByteArray good = key.encryptData(plain);
    const QByteArray broken = Reference::encrypt("aes-128-cbc", key.key(), "0123456789ABCDEF", compressed);
    const Reveriz::OsslPtr<EVP_PKEY> short1024(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", std::size_t(1024)));
    const auto shortPair = std::make_shared<ReverizRSA>(
        pair->keyOwner(), TestKeys::publicKeyPemWith(*short1024, "10001"), QByteArray(), false);
    const QByteArray made = make(pair, "a log\n");
    // The RSA ciphertext is random; everything else of a log file's text is fixed.
    const auto withoutCiphertext = [](const QByteArray& text) {
        return QString::fromLatin1(text).replace(QRegularExpression(R"("data":"[^"]*")"), R"("data":"")");
    };

    qint64 taken = 0;
    const Reveriz::Sink taking = [&](const char*, std::size_t size) { return taken += qint64(size), true; };
    const Reveriz::Sink stopping = [&](const char*, std::size_t size) { return taken += qint64(size), false; };
    const auto returned = [](bool finished) { return QString::fromLatin1(finished ? "finished" : "stopped"); };
    const auto usedUp = [&](const std::function<void(LogFile&)>& call) {
        LogFile file = logFile(good);
        (void)file.decryptTo(key, stopping);
        call(file);
        return QString();
    };
    const QString piece = QStringLiteral(", sink took 1048576");
    const struct
    {
        const char* name;
        std::function<QString()> run;
        QString outcome;
    } rows[] = {
        {"values", values(MaximumValues), "0"},
        {"values_one_past", values(MaximumValues + 1), "too many JSON values in log file: log.json (more than 65536)"},
        {"key_text", keyText(MaximumKeySize), "0"},
        {"key_text_one_past", keyText(MaximumKeySize + 1),
         "key too large in log file: log.json (more than 65536 bytes)"},
        {"permissive_reader", commented(PermissiveReadLimit), "0"},
        {"permissive_reader_one_past", commented(PermissiveReadLimit + 1), "LRC3111"},
        {"plain_log_one_past", [&] { return QString::fromLatin1(make(pair, QByteArray(MaximumPlainSize + 1, '\0'))); },
         "plain log too large: 134217729 bytes, at most 134217728"},
        {"make_for_a_short_key", [&] { return QString::fromLatin1(make(shortPair, "a log\n")); },
         "public key too short: 1024 bits, at least 2048"},
        {"whole_log", [&] { return returned(logFile(good).decryptTo(key, taking)); },
         "finished, sink took " + QString::number(plain.size())},
        {"sink_stops", [&] { return returned(logFile(good).decryptTo(key, stopping)); }, "stopped" + piece},
        // Every whole piece before the end of the stream.
        {"broken_while_writing", [&] { return returned(logFile(broken).decryptTo(key, taking)); },
         "LRC2079, sink took 3145728"},
        {"broken_before_writing",
         [&] { return returned(logFile(broken).decryptTo(key, taking, Reveriz::StreamCheck::BeforeWriting)); },
         "LRC2079"},
        {"size_when_used_up", [&] { return usedUp([](LogFile& file) { (void)file.logDataSize(); }); },
         "EncryptedLogFile::LogFile::logDataSize: the log data is used up" + piece},
        {"decrypt_when_used_up", [&] { return usedUp([&](LogFile& file) { (void)file.decryptTo(key, taking); }); },
         "EncryptedLogFile::LogFile::decryptTo: the log data is used up" + piece},
        {"rewrapped_when_used_up", [&] { return usedUp([&](LogFile& file) { (void)file.rewrapped(key, pair); }); },
         "EncryptedLogFile::LogFile::rewrapped: the log data is used up" + piece},
        {"rewrapped_for_a_short_key", [&] { return QString::fromLatin1(logFile(good).rewrapped(key, shortPair)); },
         "public key too short: 1024 bits, at least 2048"},
        {"rewrapped_as_make_writes",
         [&] {
             const LogFile file = LogFile::read(made, "log.json");
             return withoutCiphertext(file.rewrapped(*file.unwrapKey(pair), pair));
         },
         withoutCiphertext(made)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        taken = 0;
        QString outcome;
        try {
            outcome = row.run();
        } catch (const ReverizException& e) {
            outcome = e.message();
        } catch (const std::logic_error& e) {
            outcome = QString::fromUtf8(e.what());
        }
        EXPECT_EQ(taken == 0 ? outcome : outcome + QStringLiteral(", sink took %1").arg(taken), row.outcome);
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
