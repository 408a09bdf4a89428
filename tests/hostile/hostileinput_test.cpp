// A catalogue of hostile and broken input for the tools, run through the real binaries. Each row states the exact
// standard error and status; a crash or a sanitizer report shows as a status or message that differs. No row may
// create or change a file, apart from the one output of the rows the tools accept.

#include "common/encryption/reverizrsa.h"
#include "common/jsontext.h"
#include "support/processrunner.h"
#include "support/qtprinters.h"
#include "support/reference.h"
#include "support/testkeys.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

const QString keyUtility = QStringLiteral(KEYUTILITY_PATH);
const QString encryptLog = QStringLiteral(ENCRYPTLOG_PATH);
const QStringList decrypt = {QStringLiteral("decrypt"), QStringLiteral("key"), QStringLiteral("log.json")};
const QByteArray plainLog("2026-12-08 12:00:00 INFO hostile input\n");
const QByteArray logKey("0123456789abcdef");
const QByteArray vector("0123456789ABCDEF");

QByteArray compact(const Json::Value& value)
{
    return QByteArray::fromStdString(JsonText::compact(value));
}

// The stored log data a peer holding the log key writes: the vector, then AES-128-CBC with PKCS#7 padding.
QByteArray stored(const QByteArray& compressed)
{
    return Reference::encrypt(QStringLiteral("aes-128-cbc"), logKey, vector, compressed);
}

QByteArray announcing(quint32 size, QByteArray compressed)
{
    qToBigEndian(size, compressed.data());
    return compressed;
}

// An encrypted log file for the protocol fixture pair, built from parts a row may change on the way.
struct Log
{
    Json::Value plainKey = [] {
        Json::Value key(Json::objectValue);
        key["cipherName"] = "aes-128-cbc";
        key["fixedIvec"] = false;
        key["identifier"]["keyType"] = "KeyTypeLogfileKey";
        key["key"] = logKey.toBase64().toStdString();
        key["keyLengthInBytes"] = 16;
        return key;
    }();
    QByteArray compressed = qCompress(plainLog, 1);
    std::function<void(QByteArray& logData)> editData = [](QByteArray&) {};
    std::function<void(Json::Value& envelope)> editEnvelope = [](Json::Value&) {};
    std::function<void(Json::Value& document)> editDocument = [](Json::Value&) {};

    QByteArray text() const
    {
        Json::Value document(Json::objectValue);
        document["key"] = TestKeys::protocolPair().encrypt(plainKey);
        editEnvelope(document["key"]);
        QByteArray data = stored(compressed);
        editData(data);
        document["logData"] = data.toBase64().toStdString();
        editDocument(document);
        return compact(document);
    }
};

Log withKey(const std::function<void(Json::Value&)>& edit)
{
    Log log;
    edit(log.plainKey);
    return log;
}
Log withData(const std::function<void(QByteArray&)>& edit)
{
    Log log;
    log.editData = edit;
    return log;
}
Log withCompressed(const QByteArray& compressed)
{
    Log log;
    log.compressed = compressed;
    return log;
}
Log withEnvelope(const std::function<void(Json::Value&)>& edit)
{
    Log log;
    log.editEnvelope = edit;
    return log;
}
Log withDocument(const std::function<void(Json::Value&)>& edit)
{
    Log log;
    log.editDocument = edit;
    return log;
}

QByteArray nested(int depth)
{
    return QByteArray(depth, '[') + QByteArray(depth, ']');
}

QByteArray keyFileWith(const std::function<void(Json::Value&)>& edit)
{
    Json::Value json;
    EXPECT_TRUE(JsonText::parseStrict(TestKeys::read(QStringLiteral("protocol-private.key")), json));
    edit(json);
    return QByteArray::fromStdString(JsonText::styled(json));
}

// The directory a row runs in: the protocol fixture's private key file as "key" and a good log file as "log.json"
// unless the row replaces them.
class Scene
{
public:
    explicit Scene(const QString& path)
        : m_path(path)
    {
        put("key", TestKeys::read(QStringLiteral("protocol-private.key")));
        put("log.json", Log().text());
    }

    void put(const char* name, const QByteArray& data) const
    {
        remove(name);
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(data), data.size());
    }
    void put(const char* name, const Log& log) const { put(name, log.text()); }
    void directory(const char* name) const
    {
        remove(name);
        ASSERT_TRUE(QDir(m_path).mkdir(QLatin1String(name)));
    }
    void link(const char* name, const char* target) const
    {
        remove(name);
        ASSERT_TRUE(QFile::link(QLatin1String(target), path(name)));
    }
    void remove(const char* name) const { QFile::remove(path(name)); }

    // Every entry under the directory: a file's bytes, a link's target, a directory's mark.
    QMap<QString, QByteArray> snapshot() const
    {
        QMap<QString, QByteArray> entries;
        QDirIterator it(m_path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            QFile file(info.filePath());
            entries[info.fileName()] = info.isSymLink() ? "-> " + info.symLinkTarget().toUtf8()
                : info.isDir()                          ? QByteArray("<directory>")
                : file.open(QIODevice::ReadOnly)        ? file.readAll()
                                                        : QByteArray("<unreadable>");
        }
        return entries;
    }

private:
    QString path(const char* name) const { return m_path + QLatin1Char('/') + QLatin1String(name); }

    QString m_path;
};

struct Row
{
    const char* name;
    std::function<void(const Scene&)> prepare;
    int status;
    QByteArray err;
    // The arguments after the program name; keyutility decrypt of "key" and "log.json" unless given.
    QStringList arguments = decrypt;
    QString program = keyUtility;
    // For the rows the tool accepts: the one file it writes, and its content when it is known.
    std::optional<std::pair<QString, std::optional<QByteArray>>> output = std::nullopt;
};

const QByteArray failed("Could not decrypt file: ");
const QByteArray empty = failed + '\n';
const QByteArray missing = failed + "LRC2039\n"; // 4001: a file that cannot be read
const QByteArray notJson = failed + "LRC3111\n"; // 4006: a file that is not JSON
const QByteArray parseError = failed + "LRC2066\n"; // 1030: a decrypted text that is not strict JSON
const QByteArray memberMissing = failed + "LRC2067\n"; // 1031
const QByteArray memberInvalid = failed + "LRC2068\n"; // 1032
const QByteArray decryptFailed = failed + "LRC2079\n"; // 13002
const auto decrypted = [](const QByteArray& content) {
    return std::optional<std::pair<QString, std::optional<QByteArray>>>(
        {QStringLiteral("log.json.decrypted"), content});
};

const std::vector<Row>& rows()
{
    static const std::vector<Row> table = {
        // Files that are missing, in the way, cut short or not JSON.
        {"key_file_missing", [](const Scene& s) { s.remove("key"); }, 1, missing},
        {"key_file_is_a_directory", [](const Scene& s) { s.directory("key"); }, 1, missing},
        {"log_file_is_a_directory", [](const Scene& s) { s.directory("log.json"); }, 1, missing},
        {"key_file_empty", [](const Scene& s) { s.put("key", QByteArray()); }, 1, notJson},
        {"key_file_truncated",
         [](const Scene& s) { s.put("key", TestKeys::read(QStringLiteral("protocol-private.key")).left(2000)); }, 1,
         notJson},
        {"log_file_truncated", [](const Scene& s) { s.put("log.json", Log().text().chopped(30)); }, 1, notJson},
        {"log_file_with_a_zero_byte", [](const Scene& s) { s.put("log.json", Log().text().insert(1, '\0')); }, 1,
         notJson},
        {"key_file_nested_100000_deep", [](const Scene& s) { s.put("key", nested(100000)); }, 1, notJson},
        {"log_file_nested_100000_deep", [](const Scene& s) { s.put("log.json", nested(100000)); }, 1, notJson},
        {"log_file_number_out_of_range", [](const Scene& s) { s.put("log.json", "{\"key\": 1e999}"); }, 1, notJson},

        // Key files with members of the wrong type or content.
        {"key_file_root_array", [](const Scene& s) { s.put("key", "[{\"keyowner\": {}}]"); }, 1, memberMissing},
        {"key_file_keyowner_string",
         [](const Scene& s) { s.put("key", keyFileWith([](Json::Value& k) { k["keyowner"] = "protocol"; })); }, 1,
         memberMissing},
        {"key_file_owner_type_in_capitals",
         [](const Scene& s) { s.put("key", keyFileWith([](Json::Value& k) { k["keyowner"]["type"] = "Protocol"; })); },
         1, memberInvalid},
        {"key_file_owner_type_number",
         [](const Scene& s) { s.put("key", keyFileWith([](Json::Value& k) { k["keyowner"]["type"] = 3; })); }, 1,
         memberInvalid},
        {"key_file_owner_serverUUID_array",
         [](const Scene& s) {
             s.put("key", keyFileWith([](Json::Value& k) { k["keyowner"]["serverUUID"] = Json::arrayValue; }));
         },
         1, empty},
        {"key_file_publickey_number",
         [](const Scene& s) { s.put("key", keyFileWith([](Json::Value& k) { k["publickey"] = 4096; })); }, 1,
         memberInvalid},
        {"key_file_privatekey_number",
         [](const Scene& s) { s.put("key", keyFileWith([](Json::Value& k) { k["privatekey"] = -1; })); }, 1,
         memberInvalid},
        {"key_file_requirespassphrase_number",
         [](const Scene& s) { s.put("key", keyFileWith([](Json::Value& k) { k["requirespassphrase"] = 1; })); }, 1,
         memberInvalid},
        {"key_file_publickey_not_utf8",
         [](const Scene& s) {
             s.put("key",
                   TestKeys::read(QStringLiteral("protocol-private.key"))
                       .replace("-----END RSA PUBLIC", "\xff\xfe-----END RSA PUBLIC"));
         },
         1, memberInvalid},
        {"key_file_public_half_of_another_pair",
         [](const Scene& s) {
             s.put("key", keyFileWith([](Json::Value& k) {
                       k["publickey"] = TestKeys::userPair().publicKey().toStdString();
                   }));
         },
         1, memberInvalid},
        {"key_file_private_key_cut_by_a_line",
         [](const Scene& s) {
             s.put("key", keyFileWith([](Json::Value& k) {
                       std::string pem = k["privatekey"].asString();
                       k["privatekey"] = pem.erase(pem.find('\n') + 1, 65);
                   }));
         },
         1, memberInvalid},
        {"key_file_public_only",
         [](const Scene& s) { s.put("key", TestKeys::read(QStringLiteral("protocol-public.key"))); }, 1, empty},
        {"key_file_protected_by_a_pass_phrase",
         [](const Scene& s) { s.put("key", TestKeys::read(QStringLiteral("protocol-protected.key"))); }, 1, empty},

        // Log files and envelopes with members of the wrong type or content.
        {"log_root_array", [](const Scene& s) { s.put("log.json", "[" + Log().text() + "]"); }, 1, memberMissing},
        {"log_key_string",
         [](const Scene& s) { s.put("log.json", withDocument([](Json::Value& d) { d["key"] = "k"; })); }, 1,
         memberMissing},
        {"log_logData_number_is_an_empty_log",
         [](const Scene& s) { s.put("log.json", withDocument([](Json::Value& d) { d["logData"] = 7; })); }, 0,
         QByteArray(), decrypt, keyUtility, decrypted(QByteArray())},
        {"logData_base64_with_junk_is_skipped",
         [](const Scene& s) {
             s.put("log.json",
                   withDocument([](Json::Value& d) { d["logData"] = "*\n" + d["logData"].asString() + "\xff!"; }));
         },
         0, QByteArray(), decrypt, keyUtility, decrypted(plainLog)},
        {"envelope_encryptedfor_string",
         [](const Scene& s) {
             s.put("log.json", withEnvelope([](Json::Value& e) { e["encryptedfor"] = "protocol"; }));
         },
         1, memberMissing},
        {"envelope_type_number",
         [](const Scene& s) { s.put("log.json", withEnvelope([](Json::Value& e) { e["encryptedfor"]["type"] = 3; })); },
         1, memberInvalid},
        {"envelope_serverUUID_number",
         [](const Scene& s) {
             s.put("log.json", withEnvelope([](Json::Value& e) { e["encryptedfor"]["serverUUID"] = 1; }));
         },
         1, empty},
        {"envelope_serverUUID_not_utf8",
         [](const Scene& s) {
             s.put("log.json", withEnvelope([](Json::Value& e) {
                       e["encryptedfor"]["serverUUID"] = "3b241101-e2bb-4255-8caf-4136c566a96\xe2";
                   }));
         },
         1, empty},
        {"key_file_of_another_actor",
         [](const Scene& s) { s.put("key", TestKeys::read(QStringLiteral("user-private.key"))); }, 1, empty},
        {"envelope_data_missing",
         [](const Scene& s) { s.put("log.json", withEnvelope([](Json::Value& e) { e.removeMember("data"); })); }, 1,
         memberMissing},
        {"envelope_data_number",
         [](const Scene& s) { s.put("log.json", withEnvelope([](Json::Value& e) { e["data"] = 512; })); }, 1,
         parseError},
        {"envelope_with_no_block",
         [](const Scene& s) { s.put("log.json", withEnvelope([](Json::Value& e) { e["data"] = ""; })); }, 1,
         parseError},
        {"envelope_with_one_extra_block",
         [](const Scene& s) {
             s.put("log.json", withEnvelope([](Json::Value& e) {
                       const QByteArray data = QByteArray::fromBase64(QByteArray::fromStdString(e["data"].asString()));
                       e["data"] = (data + QByteArray(512, '\x42')).toBase64().toStdString();
                   }));
         },
         1, decryptFailed},
        {"envelope_with_its_block_twice",
         [](const Scene& s) {
             s.put("log.json", withEnvelope([](Json::Value& e) {
                       const QByteArray data = QByteArray::fromBase64(QByteArray::fromStdString(e["data"].asString()));
                       e["data"] = (data + data).toBase64().toStdString();
                   }));
         },
         1, parseError},
        {"envelope_block_one_byte_short",
         [](const Scene& s) {
             s.put("log.json", withEnvelope([](Json::Value& e) {
                       const QByteArray data = QByteArray::fromBase64(QByteArray::fromStdString(e["data"].asString()));
                       e["data"] = data.chopped(1).toBase64().toStdString();
                   }));
         },
         1, decryptFailed},

        // Plain keys inside the envelope with members of the wrong type or content.
        {"plain_key_key_object",
         [](const Scene& s) { s.put("log.json", withKey([](Json::Value& k) { k["key"] = Json::objectValue; })); }, 1,
         memberInvalid},
        {"plain_key_base64_with_junk",
         [](const Scene& s) { s.put("log.json", withKey([](Json::Value& k) { k["key"] = "MDEy*NDU2Nzg5YWJjZGVm"; })); },
         1, memberInvalid},
        {"plain_key_cipherName_number",
         [](const Scene& s) { s.put("log.json", withKey([](Json::Value& k) { k["cipherName"] = 128; })); }, 1,
         decryptFailed},
        {"plain_key_cipher_of_another_mode",
         [](const Scene& s) { s.put("log.json", withKey([](Json::Value& k) { k["cipherName"] = "aes-128-ecb"; })); }, 1,
         decryptFailed},
        {"plain_key_cipherName_not_utf8",
         [](const Scene& s) {
             s.put("log.json", withKey([](Json::Value& k) { k["cipherName"] = "aes-128-cbc\xc3"; }));
         },
         1, decryptFailed},
        {"plain_key_length_string",
         [](const Scene& s) { s.put("log.json", withKey([](Json::Value& k) { k["keyLengthInBytes"] = "16"; })); }, 1,
         failed + "Value is not convertible to Int.\n"},
        {"plain_key_length_negative",
         [](const Scene& s) { s.put("log.json", withKey([](Json::Value& k) { k["keyLengthInBytes"] = -16; })); }, 1,
         empty},
        {"plain_key_length_largest_int",
         [](const Scene& s) { s.put("log.json", withKey([](Json::Value& k) { k["keyLengthInBytes"] = 2147483647; })); },
         1, memberInvalid},
        {"plain_key_length_beyond_int",
         [](const Scene& s) {
             s.put("log.json", withKey([](Json::Value& k) { k["keyLengthInBytes"] = Json::UInt64(1) << 32; }));
         },
         1, failed + "LargestInt out of Int range\n"},
        {"plain_key_fixedIvec_string_reads_as_false",
         [](const Scene& s) { s.put("log.json", withKey([](Json::Value& k) { k["fixedIvec"] = "true"; })); }, 0,
         QByteArray(), decrypt, keyUtility, decrypted(plainLog)},
        {"plain_key_identifier_string",
         [](const Scene& s) { s.put("log.json", withKey([](Json::Value& k) { k["identifier"] = "log"; })); }, 1, empty},
        {"plain_key_keyType_number",
         [](const Scene& s) { s.put("log.json", withKey([](Json::Value& k) { k["identifier"]["keyType"] = 4; })); }, 1,
         empty},
        {"plain_key_nested_2000_deep",
         [](const Scene& s) {
             Log log;
             log.plainKey = Json::arrayValue;
             Json::Value* inner = &log.plainKey;
             for (int depth = 1; depth < 2000; ++depth)
                 inner = &inner->append(Json::arrayValue);
             s.put("log.json", log);
         },
         1, parseError},

        // Stored log data that is cut, too long, or whose plain side lies.
        {"logData_one_byte_short",
         [](const Scene& s) { s.put("log.json", withData([](QByteArray& d) { d.chop(1); })); }, 1, decryptFailed},
        {"logData_one_byte_long", [](const Scene& s) { s.put("log.json", withData([](QByteArray& d) { d += 'x'; })); },
         1, decryptFailed},
        {"logData_shorter_than_the_vector",
         [](const Scene& s) { s.put("log.json", withData([](QByteArray& d) { d.truncate(15); })); }, 1, decryptFailed},
        {"logData_the_vector_only",
         [](const Scene& s) { s.put("log.json", withData([](QByteArray& d) { d.truncate(16); })); }, 1, decryptFailed},
        {"compressed_data_of_four_bytes",
         [](const Scene& s) { s.put("log.json", withCompressed(QByteArray(4, '\0'))); }, 1, decryptFailed},
        {"compressed_size_128_MiB_and_one",
         [](const Scene& s) { s.put("log.json", withCompressed(announcing((1u << 27) + 1, qCompress(plainLog, 1)))); },
         1, decryptFailed},
        {"compressed_size_4_GiB",
         [](const Scene& s) { s.put("log.json", withCompressed(announcing(0xffffffff, qCompress(plainLog, 1)))); }, 1,
         decryptFailed},
        {"compressed_stream_garbage",
         [](const Scene& s) {
             s.put("log.json", withCompressed(qCompress(plainLog, 1).left(4) + QByteArray(40, '\x5a')));
         },
         1, decryptFailed},
        {"compressed_stream_cut",
         [](const Scene& s) { s.put("log.json", withCompressed(qCompress(plainLog, 1).chopped(6))); }, 1,
         decryptFailed},

        // Outputs in the way.
        {"output_is_a_directory", [](const Scene& s) { s.directory("log.json.decrypted"); }, 1,
         "Could not create outputfile: log.json.decrypted\n"},
        {"output_is_a_dangling_symlink_replaced_not_followed",
         [](const Scene& s) { s.link("log.json.decrypted", "elsewhere"); }, 0, QByteArray(), decrypt, keyUtility,
         decrypted(plainLog)},
        {"create_over_a_private_key_file_that_is_a_directory",
         [](const Scene& s) { s.directory("protocolkey-private.key"); },
         1,
         "Could not write key file: protocolkey-private.key: cannot rename to protocolkey-private.key: Is a "
         "directory\n",
         {QStringLiteral("create"), QStringLiteral("3b241101-e2bb-4255-8caf-4136c566a962")}},

        // encryptlog
        {"encryptlog_key_file_is_a_directory",
         [](const Scene& s) { s.directory("public.key"); },
         1,
         "Could not read key file public.key: FileUtilities: LRC2039 [LRC2040 file to open is a directory] Id: "
         "public.key\n",
         {QStringLiteral("public.key"), QStringLiteral("log.json"), QStringLiteral("out.json")},
         encryptLog},
        {"encryptlog_key_file_truncated",
         [](const Scene& s) { s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")).left(100)); },
         1,
         "Could not read key file public.key: FileUtilities: LRC3111 [LRC3110] Id: public.key\n",
         {QStringLiteral("public.key"), QStringLiteral("log.json"), QStringLiteral("out.json")},
         encryptLog},
        {"encryptlog_output_is_a_directory",
         [](const Scene& s) {
             s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")));
             s.directory("out.json");
         },
         1,
         "Could not write outputfile out.json: cannot rename to out.json: Is a directory\n",
         {QStringLiteral("public.key"), QStringLiteral("log.json"), QStringLiteral("out.json")},
         encryptLog},
        {"encryptlog_output_is_a_dangling_symlink_replaced_not_followed",
         [](const Scene& s) {
             s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")));
             s.link("out.json", "elsewhere");
         },
         0,
         QByteArray(),
         {QStringLiteral("public.key"), QStringLiteral("log.json"), QStringLiteral("out.json")},
         encryptLog,
         std::pair {QStringLiteral("out.json"), std::optional<QByteArray>()}},
        {"encryptlog_plain_file_is_a_directory",
         [](const Scene& s) {
             s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")));
             s.directory("plain");
         },
         1,
         "Could not read plain file plain: file to open is a directory\n",
         {QStringLiteral("public.key"), QStringLiteral("plain"), QStringLiteral("out.json")},
         encryptLog},
    };
    return table;
}

void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.name;
}

class HostileInput : public ::testing::TestWithParam<Row>
{
};

TEST_P(HostileInput, IsRefusedWithItsMessageAndChangesNothing)
{
    const Row& row = GetParam();
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const Scene scene(directory.path());
    row.prepare(scene);
    QMap<QString, QByteArray> expected = scene.snapshot();

    const ProcessResult result = runProcess(row.program, row.arguments, QByteArray(), directory.path());
    ASSERT_TRUE(result.ran) << "no normal exit: a signal or a minute's hang";
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.err, row.err);
    EXPECT_EQ(result.out, QByteArray());

    QMap<QString, QByteArray> found = scene.snapshot();
    if (row.output) {
        const auto& [name, content] = *row.output;
        ASSERT_TRUE(found.contains(name));
        if (content) {
            EXPECT_EQ(found[name], *content);
        }
        expected[name] = found[name];
    }
    EXPECT_EQ(found.keys(), expected.keys());
    for (auto entry = expected.cbegin(); entry != expected.cend(); ++entry)
        EXPECT_TRUE(found.value(entry.key()) == entry.value()) << entry.key().toStdString() << " changed";
}

INSTANTIATE_TEST_SUITE_P(Catalogue, HostileInput, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

} // namespace
