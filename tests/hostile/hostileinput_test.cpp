// A catalogue of hostile and broken input for the tools, run through the real binaries. Each row states the exact
// standard error and status; a crash or a sanitizer report shows as a status or message that differs. No row may
// create or change a file, apart from the one output of the rows the tools accept.

#include "common/encryption/encryptedlogfile.h"
#include "common/encryption/internal/rsakeys.h"
#include "common/encryption/opensslptr.h"
#include "common/encryption/reverizrsa.h"
#include "common/internal/jsontext.h"
#include "support/fileprobes.h"
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

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Reveriz::Internal;
using Reveriz::OsslPtr;

namespace {

const QString keyUtility = QStringLiteral(KEYUTILITY_PATH);
const QString encryptLog = QStringLiteral(ENCRYPTLOG_PATH);
const QStringList decrypt = {QStringLiteral("decrypt"), QStringLiteral("key"), QStringLiteral("log.json")};
const QByteArray plainLog("2026-12-08 12:00:00 INFO hostile input\n");
const QByteArray logKey("0123456789abcdef");
const QByteArray vector("0123456789ABCDEF");

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
        QByteArray data = stored(compressed);
        editData(data);
        Json::Value document = TestKeys::logDocument(TestKeys::protocolPair(), plainKey, data);
        editEnvelope(document["key"]);
        editDocument(document);
        return TestKeys::compact(document);
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

// text, filled up to size bytes with spaces.
QByteArray padded(const QByteArray& text, qint64 size)
{
    return text + QByteArray(size - text.size(), ' ');
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
    void ownerOnly(const char* name) const
    {
        ASSERT_TRUE(QFile::setPermissions(path(name), QFile::ReadOwner | QFile::WriteOwner));
    }
    void fifo(const char* name) const
    {
        remove(name);
        ASSERT_EQ(::mkfifo(QFile::encodeName(path(name)).constData(), 0600), 0);
    }
    // A file of size bytes that takes no room on disk.
    void sparse(const char* name, qint64 size) const
    {
        put(name, QByteArray());
        ASSERT_TRUE(QFile::resize(path(name), size));
    }
    // A private copy of /dev/null (minor 3) or /dev/full (7); the row is skipped where nodes cannot be made.
    void device(const char* name, unsigned int minor) const
    {
        remove(name);
        if (::mknod(QFile::encodeName(path(name)).constData(), S_IFCHR | 0666, ::makedev(1, minor)) != 0)
            GTEST_SKIP() << "mknod is not permitted here";
    }
    void hardLink(const char* name, const char* target) const
    {
        remove(name);
        ASSERT_EQ(::link(QFile::encodeName(path(target)).constData(), QFile::encodeName(path(name)).constData()), 0);
    }

    // Every entry under the directory: a file's bytes, a link's target, a directory's mark.
    QString path(const char* name) const { return m_path + QLatin1Char('/') + QLatin1String(name); }

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
                : !info.isFile()                        ? QByteArray("<special>")
                : info.size() > (qint64(16) << 20)      ? "<" + QByteArray::number(info.size()) + " bytes>"
                : file.open(QIODevice::ReadOnly)        ? file.readAll()
                                                        : QByteArray("<unreadable>");
        }
        return entries;
    }

private:
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
const QByteArray tooManyValues = failed + "too many JSON values in log file: log.json (more than 65536)\n";
const QStringList encryptLogArguments = {QStringLiteral("public.key"), QStringLiteral("plain"),
                                         QStringLiteral("out.json")};

// A key file of the protocol actor whose public key has the given size and exponent: n from a key of that size,
// e put in by hand, so that OpenSSL's own generator, which refuses such exponents, is not needed.
QByteArray weakKeyFile(int bits, const char* exponentHex)
{
    const OsslPtr<EVP_PKEY> generated(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(bits)));
    const ReverizRSA pair(TestKeys::protocolPair().keyOwner(), TestKeys::publicKeyPemWith(*generated, exponentHex),
                          QByteArray(), false);
    return QByteArray::fromStdString(JsonText::styled(pair.toJson(false)));
}

const QStringList decryptWithPassPhraseFile = {QStringLiteral("decrypt"), QStringLiteral("--passphrase-file"),
                                               QStringLiteral("pass"), QStringLiteral("key"),
                                               QStringLiteral("log.json")};
const QStringList showLog = {QStringLiteral("show"), QStringLiteral("log.json")};
// keyutility rewrap of "log.json" with "key" for "public.key" into output.
QStringList rewrapTo(const QString& output)
{
    return {QStringLiteral("rewrap"), QStringLiteral("key"), QStringLiteral("public.key"), QStringLiteral("log.json"),
            output};
}

// bash arguments that run keyutility show of file, the first two lines of its output into "shown", with its status.
QStringList showFirstLines(const QString& file)
{
    return {QStringLiteral("-o"), QStringLiteral("pipefail"),
            QStringLiteral("-c"), QStringLiteral("\"$0\" show \"$1\" | sed -n 1,2p >shown"),
            keyUtility,           file};
}

// keyutility decrypt -o output of "log.json" with "key".
QStringList decryptTo(const QString& output)
{
    return {QStringLiteral("decrypt"), QStringLiteral("-o"), output, QStringLiteral("key"), QStringLiteral("log.json")};
}

// The longest name whose ".decrypted" output is still a legal name.
const char* const longName = [] {
    static const std::string name = std::string(240, 'n') + ".json";
    return name.c_str();
}();
const auto decryptedAs = [](const QString& name, const QByteArray& content) {
    return std::optional<std::pair<QString, std::optional<QByteArray>>>({name, content});
};
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
        {"key_file_empty", [](const Scene& s) { s.put("key", QByteArray()); }, 1, notJson},
        {"key_file_truncated",
         [](const Scene& s) { s.put("key", TestKeys::read(QStringLiteral("protocol-private.key")).left(2000)); }, 1,
         notJson},
        {"log_file_truncated", [](const Scene& s) { s.put("log.json", Log().text().chopped(30)); }, 1, notJson},
        {"log_file_with_a_zero_byte", [](const Scene& s) { s.put("log.json", Log().text().insert(1, '\0')); }, 1,
         notJson},
        {"key_file_nested_100000_deep", [](const Scene& s) { s.put("key", nested(100000)); }, 1, notJson},
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
         {QStringLiteral("create"), TestKeys::serverUUID}},

        // Outputs that are inputs, by any name: refused before anything is read or written.
        {"decrypt_output_is_the_key_file", [](const Scene&) {}, 1,
         "Could not create outputfile: key: it is the input file key\n", decryptTo("key")},
        {"decrypt_output_is_the_log", [](const Scene&) {}, 1,
         "Could not create outputfile: log.json: it is the input file log.json\n", decryptTo("log.json")},
        {"decrypt_output_is_the_pass_phrase_file", [](const Scene& s) { s.put("pass", "correct horse\n"); }, 1,
         "Could not create outputfile: pass: it is the input file pass\n",
         QStringList {QStringLiteral("decrypt"), QStringLiteral("--passphrase-file"), QStringLiteral("pass")}
             + decryptTo("pass").mid(1)},
        {"decrypt_output_is_the_key_file_through_a_linked_directory",
         [](const Scene& s) {
             s.directory("d");
             s.link("d/up", "..");
         },
         1, "Could not create outputfile: d/up/key: it is the input file key\n", decryptTo("d/up/key")},
        {"decrypt_output_is_the_key_file_found_only_as_its_companion",
         [](const Scene& s) {
             s.remove("key");
             s.put("key.tempreplace", TestKeys::read(QStringLiteral("protocol-private.key")));
         },
         1, "Could not create outputfile: key: it is the input file key\n", decryptTo("key")},
        {"decrypt_output_is_a_hard_link_to_the_log", [](const Scene& s) { s.hardLink("out", "log.json"); }, 1,
         "Could not create outputfile: out: it is the input file log.json\n", decryptTo("out")},
        {"original_form_output_is_the_key_file",
         [](const Scene& s) { s.put("log.json.decrypted", TestKeys::read(QStringLiteral("protocol-private.key"))); },
         1, "Could not create outputfile: log.json.decrypted\n",
         {QStringLiteral("decrypt"), QStringLiteral("log.json.decrypted"), QStringLiteral("log.json")}},
        {"batch_output_is_another_log", [](const Scene& s) { s.put("log.json.decrypted", Log()); }, 1,
         "Could not create outputfile: log.json.decrypted: the output of log.json is the input file "
         "log.json.decrypted\n",
         {QStringLiteral("decrypt"), QStringLiteral("-j"), QStringLiteral("2"), QStringLiteral("key"),
          QStringLiteral("log.json"), QStringLiteral("log.json.decrypted")}},
        {"standard_output_is_the_log", [](const Scene&) {}, 1,
         "Could not write to standard output: it is the input file log.json\n",
         {QStringLiteral("-c"), QStringLiteral("exec \"$0\" decrypt -o - key log.json >>log.json"), keyUtility},
         QStringLiteral("/bin/sh")},

        // Outputs that are devices or FIFOs: written in place, never replaced; other kinds refused.
        {"decrypt_into_a_character_device", [](const Scene& s) { s.device("null", 3); }, 0, QByteArray(),
         decryptTo("null")},
        {"decrypt_default_output_is_a_character_device", [](const Scene& s) { s.device("log.json.decrypted", 3); }, 0,
         QByteArray()},
        {"decrypt_into_a_full_device", [](const Scene& s) { s.device("full", 7); }, 1,
         "Could not create outputfile: full\n", decryptTo("full")},
        {"decrypt_into_a_fifo", [](const Scene& s) { s.fifo("fifo"); }, 0, QByteArray(),
         {QStringLiteral("-c"), QStringLiteral("cat fifo >got & \"$0\" decrypt -o fifo key log.json; s=$?; wait; exit $s"),
          keyUtility},
         QStringLiteral("/bin/sh"), decryptedAs(QStringLiteral("got"), plainLog)},
        {"decrypt_into_another_users_fifo_in_a_sticky_directory",
         [](const Scene& s) {
             s.fifo("log.json.decrypted");
             if (::chmod(QFile::encodeName(s.path(".")).constData(), 01777) != 0
                 || ::lchown(QFile::encodeName(s.path("log.json.decrypted")).constData(), 65534, 65534) != 0)
                 GTEST_SKIP() << "needs root, to give a FIFO to another user";
         },
         1, "Could not create outputfile: log.json.decrypted\n"},
        {"rewrap_into_a_character_device",
         [](const Scene& s) {
             s.put("public.key", TestKeys::read(QStringLiteral("user-public.key")));
             s.device("null", 3);
         },
         0, QByteArray(), rewrapTo(QStringLiteral("null"))},
        {"encryptlog_into_a_full_device",
         [](const Scene& s) {
             s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")));
             s.put("plain", plainLog);
             s.device("out.json", 7);
         },
         1, "Could not write outputfile out.json: cannot write out.json: No space left on device\n",
         encryptLogArguments, encryptLog},
        {"encryptlog_into_a_link_to_its_standard_output",
         [](const Scene& s) {
             s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")));
             s.put("plain", plainLog);
             s.put("real", QByteArray());
             s.link("out.json", "real");
         },
         1, "Could not write outputfile out.json: cannot replace out.json: it is a link to a standard stream\n",
         {QStringLiteral("-c"), QStringLiteral("exec \"$0\" public.key plain out.json >real"), encryptLog},
         QStringLiteral("/bin/sh")},
        {"create_over_a_character_device", [](const Scene& s) { s.device("protocolkey-public.key", 3); }, 1,
         "Could not write key file: protocolkey-public.key: cannot replace protocolkey-public.key: not a regular "
         "file\n",
         {QStringLiteral("create"), TestKeys::serverUUID}},

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
         "Could not read plain file plain: FileUtilities: LRC2039 [LRC2040 file to open is a directory] Id: plain\n",
         {QStringLiteral("public.key"), QStringLiteral("plain"), QStringLiteral("out.json")},
         encryptLog},

        // Inputs of a kind or size that no legitimate one has are refused before they are read: nothing waits for
        // a writer or reads without end, and memory stays in proportion to what a log file needs.
        {"log_file_is_a_fifo", [](const Scene& s) { s.fifo("log.json"); }, 1,
         failed + "not a regular file: log.json\n"},
        {"key_file_is_dev_zero", [](const Scene& s) { s.link("key", "/dev/zero"); }, 1,
         failed + "not a regular file: key\n"},
        {"key_file_of_1_MiB",
         [](const Scene& s) { s.put("key", padded(TestKeys::read(QStringLiteral("protocol-private.key")), 1 << 20)); },
         0, QByteArray(), decrypt, keyUtility, decrypted(plainLog)},
        {"key_file_of_1_MiB_and_one_byte",
         [](const Scene& s) {
             s.put("key", padded(TestKeys::read(QStringLiteral("protocol-private.key")), (1 << 20) + 1));
         },
         1, failed + "file too large: key (more than 1048576 bytes)\n"},
        {"log_file_as_large_as_the_largest_log_is_read",
         [](const Scene& s) { s.sparse("log.json", 185657164); }, 1, failed + "LRC3111\n"},
        {"log_file_larger_than_any_log",
         [](const Scene& s) { s.sparse("log.json", Reveriz::EncryptedLogFile::MaximumFileSize + 1); }, 1,
         failed + "file too large: log.json (more than "
             + QByteArray::number(Reveriz::EncryptedLogFile::MaximumFileSize) + " bytes)\n"},
        {"log_file_of_70000_numbers",
         [](const Scene& s) {
             s.put("log.json", "{\"x\":[" + QByteArray(qsizetype(70000) * 2, ',').replace(",,", "1,") + "1]}");
         },
         1, tooManyValues},
        {"log_file_nested_100000_deep", [](const Scene& s) { s.put("log.json", nested(100000)); }, 1, tooManyValues},
        {"log_key_of_40000_members",
         [](const Scene& s) {
             s.put("log.json", withEnvelope([](Json::Value& e) {
                       for (int i = 0; i < 40000; ++i)
                           e[std::to_string(i)] = i;
                   }));
         },
         1, tooManyValues},
        {"log_key_of_100_KiB",
         [](const Scene& s) {
             s.put("log.json", withEnvelope([](Json::Value& e) { e["padding"] = std::string(100 << 10, 'x'); }));
         },
         1, failed + "key too large in log file: log.json (more than 65536 bytes)\n"},
        {"log_file_of_32_MiB_with_a_comment",
         [](const Scene& s) { s.put("log.json", padded("// a comment\n" + Log().text(), 32 << 20)); }, 0, QByteArray(),
         decrypt, keyUtility, decrypted(plainLog)},
        {"log_file_of_32_MiB_and_one_byte_with_a_comment",
         [](const Scene& s) { s.put("log.json", padded("// a comment\n" + Log().text(), (32 << 20) + 1)); }, 1,
         notJson},
        // The largest envelope gets as far as the first RSA block; one byte more, and none is decrypted.
        {"envelope_of_8192_bytes",
         [](const Scene& s) {
             s.put("log.json", withEnvelope([](Json::Value& e) {
                       e["data"] = QByteArray(8192, '\x42').toBase64().toStdString();
                   }));
         },
         1, decryptFailed},
        {"envelope_of_8193_bytes",
         [](const Scene& s) {
             s.put("log.json", withEnvelope([](Json::Value& e) {
                       e["data"] = QByteArray(8193, '\x42').toBase64().toStdString();
                   }));
         },
         1, failed + "envelope too large: 8193 bytes of RSA ciphertext, at most 8192\n"},
        {"log_name_not_utf8",
         [](const Scene&) {},
         1,
         failed + "file name is not valid UTF-8: caf\xef\xbf\xbd.json\n",
         {QStringLiteral("-c"), QStringLiteral("exec \"$0\" decrypt key \"$(printf 'caf\\351.json')\""), keyUtility},
         QStringLiteral("/bin/sh")},
        {"log_name_of_245_bytes",
         [](const Scene& s) { s.put(longName, Log()); },
         0,
         QByteArray(),
         {QStringLiteral("decrypt"), QStringLiteral("key"), QLatin1String(longName)},
         keyUtility,
         decryptedAs(QLatin1String(longName) + QLatin1String(".decrypted"), plainLog)},
        {"decrypt_output_beyond_the_file_size_limit",
         [](const Scene& s) { s.put("log.json", withCompressed(qCompress(QByteArray(8192, 'x'), 1))); }, 1,
         "Could not create outputfile: log.json.decrypted\n",
         QStringList {QStringLiteral("--fsize=4096"), keyUtility} + decrypt, QStringLiteral("prlimit")},
        {"encryptlog_plain_file_is_dev_zero",
         [](const Scene& s) {
             s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")));
             s.link("plain", "/dev/zero");
         },
         1, "Could not read plain file plain: FileUtilities: not a regular file: plain\n", encryptLogArguments,
         encryptLog},
        {"encryptlog_plain_file_of_128_MiB",
         [](const Scene& s) {
             s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")));
             s.sparse("plain", qint64(1) << 27);
         },
         0, QByteArray(), encryptLogArguments, encryptLog,
         std::pair {QStringLiteral("out.json"), std::optional<QByteArray>()}},
        {"encryptlog_plain_file_over_128_MiB",
         [](const Scene& s) {
             s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")));
             s.sparse("plain", (qint64(1) << 27) + 1);
         },
         1, "Could not read plain file plain: FileUtilities: file too large: plain (more than 134217728 bytes)\n",
         encryptLogArguments, encryptLog},
        {"encryptlog_output_is_the_key_file",
         [](const Scene& s) { s.put("public.key", TestKeys::read(QStringLiteral("protocol-private.key"))); },
         1,
         "Could not write outputfile public.key: it is the input file public.key\n",
         {QStringLiteral("public.key"), QStringLiteral("plain"), QStringLiteral("public.key")},
         encryptLog},
        {"encryptlog_output_is_a_hard_link_to_the_plain_file",
         [](const Scene& s) {
             s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")));
             s.put("plain", plainLog);
             s.hardLink("out.json", "plain");
         },
         1, "Could not write outputfile out.json: it is the input file plain\n", encryptLogArguments, encryptLog},
        {"encryptlog_output_is_a_symlink_to_the_key_file",
         [](const Scene& s) {
             s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")));
             s.link("out.json", "public.key");
         },
         1, "Could not write outputfile out.json: it is the input file public.key\n", encryptLogArguments, encryptLog},
        {"encryptlog_key_of_1024_bits", [](const Scene& s) { s.put("public.key", weakKeyFile(1024, "10001")); }, 1,
         "Could not read key file public.key: ReverizRSA: public key too short: 1024 bits, at least 2048\n",
         encryptLogArguments, encryptLog},
        {"encryptlog_key_of_exponent_1", [](const Scene& s) { s.put("public.key", weakKeyFile(2048, "1")); }, 1,
         "Could not read key file public.key: ReverizRSA: public key fails the key check\n", encryptLogArguments,
         encryptLog},
        {"encryptlog_output_beyond_the_file_size_limit",
         [](const Scene& s) {
             s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")));
             QByteArray noise(8192, '\0');
             quint32 state = 1;
             for (char& byte : noise)
                 byte = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
             s.put("plain", noise);
         },
         1, "Could not write outputfile out.json: cannot write out.json: File too large\n",
         QStringList {QStringLiteral("--fsize=1024"), encryptLog} + encryptLogArguments, QStringLiteral("prlimit")},

        // show: files of any kind, size and JSON shape, each read within its bounds.
        {"show_a_fifo", [](const Scene& s) { s.fifo("log.json"); }, 1,
         "Could not show file log.json: FileUtilities: not a regular file: log.json\n", showLog},
        {"show_a_log_file_larger_than_any_log",
         [](const Scene& s) { s.sparse("log.json", Reveriz::EncryptedLogFile::MaximumFileSize + 1); }, 1,
         "Could not show file log.json: FileUtilities: file too large: log.json (more than "
             + QByteArray::number(Reveriz::EncryptedLogFile::MaximumFileSize) + " bytes)\n",
         showLog},
        {"show_a_key_file_in_an_array",
         [](const Scene& s) { s.put("log.json", "[" + TestKeys::read(QStringLiteral("protocol-public.key")) + "]"); },
         1, "Could not show file log.json: neither a key file nor an encrypted log file\n", showLog},
        {"show_a_key_owner_that_is_a_string",
         [](const Scene& s) { s.put("log.json", keyFileWith([](Json::Value& k) { k["keyowner"] = "protocol"; })); },
         1, "Could not show file log.json: ReverizActor: LRC2067 [missing member] Id: type\n", showLog},
        {"show_a_log_key_that_is_a_string",
         [](const Scene& s) { s.put("log.json", withDocument([](Json::Value& d) { d["key"] = "k"; })); }, 1,
         "Could not show file log.json: ReverizRSA: LRC2067 [missing member] Id: encryptedfor\n", showLog},
        {"show_a_log_logData_number_without_key", [](const Scene& s) { s.put("log.json", "{\"logData\": 7}"); }, 1,
         "Could not show file log.json: neither a key file nor an encrypted log file\n", showLog},

        // show changes nothing, and prints names and texts from files escaped.
        {"show_reads_a_lone_companion_where_it_is",
         [](const Scene& s) {
             s.remove("log.json");
             s.put("log.json.tempreplace", Log());
         },
         0, QByteArray(), showFirstLines(QStringLiteral("log.json")),
         QStringLiteral("/bin/bash"), decryptedAs(QStringLiteral("shown"), "file: log.json\nkind: encrypted log file\n")},
        {"show_a_name_that_forges_a_line",
         [](const Scene& s) { s.put("k\nkind: private key", TestKeys::read(QStringLiteral("protocol-public.key"))); }, 0,
         QByteArray(), showFirstLines(QStringLiteral("k\nkind: private key")), QStringLiteral("/bin/bash"),
         decryptedAs(QStringLiteral("shown"), "file: k\\nkind: private key\nkind: public key\n")},
        {"show_a_missing_name_with_an_escape_sequence_in_json",
         [](const Scene&) {}, 1,
         "Could not show file \\x1b[2J\\r: FileUtilities: LRC2039 [LRC1112039] Id: \\x1b[2J\\r.tempreplace\n",
         {QStringLiteral("-c"), QStringLiteral("exec \"$0\" show --json \"$1\" >shown"), keyUtility,
          QStringLiteral("\x1b[2J\r")},
         QStringLiteral("/bin/sh"),
         decryptedAs(QStringLiteral("shown"), "[\n   {\n      \"error\" : \"FileUtilities: LRC2039 [LRC1112039] Id: "
                                              "\\u001b[2J\\r.tempreplace\",\n      \"file\" : \"\\u001b[2J\\r\"\n   }\n]\n")},
        {"show_a_name_not_utf8", [](const Scene&) {}, 1,
         "Could not show file caf\\xe9.json: FileUtilities: file name is not valid UTF-8: caf\\xe9.json\n",
         {QStringLiteral("-c"), QStringLiteral("exec \"$0\" show \"$(printf 'caf\\351.json')\""), keyUtility},
         QStringLiteral("/bin/sh")},

        // rewrap: an output that is an input, a wrong pass phrase, recipients too weak to encrypt for, another actor.
        {"rewrap_output_is_the_log", [](const Scene&) {}, 1,
         "Could not write outputfile log.json: it is the input file log.json\n",
         rewrapTo(QStringLiteral("log.json"))},
        {"rewrap_output_is_a_symlink_to_the_private_key_file", [](const Scene& s) { s.link("out.json", "key"); }, 1,
         "Could not write outputfile out.json: it is the input file key\n", rewrapTo(QStringLiteral("out.json"))},
        {"rewrap_output_is_a_hard_link_to_the_pass_phrase_file",
         [](const Scene& s) {
             s.put("pass", "correct horse\n");
             s.hardLink("out.json", "pass");
         },
         1, "Could not write outputfile out.json: it is the input file pass\n",
         QStringList {QStringLiteral("rewrap"), QStringLiteral("--passphrase-file"), QStringLiteral("pass")}
             + rewrapTo(QStringLiteral("out.json")).mid(1)},
        {"pass_phrase_file_of_64_KiB",
         [](const Scene& s) {
             s.put("key", TestKeys::read(QStringLiteral("protocol-protected.key")));
             s.put("pass", padded("correct horse\n", 65536));
             s.ownerOnly("pass");
         },
         0, QByteArray(), decryptWithPassPhraseFile, keyUtility, decrypted(plainLog)},
        {"pass_phrase_file_of_64_KiB_and_one_byte",
         [](const Scene& s) {
             s.put("key", TestKeys::read(QStringLiteral("protocol-protected.key")));
             s.put("pass", padded("correct horse\n", 65537));
             s.ownerOnly("pass");
         },
         1, "Could not read pass phrase file pass: FileUtilities: file too large: pass (more than 65536 bytes)\n",
         decryptWithPassPhraseFile},
        {"pass_phrase_file_of_1_TiB_is_not_read",
         [](const Scene& s) {
             s.put("key", TestKeys::read(QStringLiteral("protocol-protected.key")));
             s.sparse("pass", qint64(1) << 40);
             s.ownerOnly("pass");
         },
         1, "Could not read pass phrase file pass: FileUtilities: file too large: pass (more than 65536 bytes)\n",
         decryptWithPassPhraseFile},
        {"rewrap_with_a_wrong_pass_phrase",
         [](const Scene& s) {
             s.put("key", TestKeys::read(QStringLiteral("protocol-protected.key")));
             s.put("public.key", TestKeys::read(QStringLiteral("user-public.key")));
             s.put("pass", "correct horse \n");
             s.ownerOnly("pass"); // no warning about others reading it
         },
         1, "Could not rewrap file: wrong pass phrase for key\n",
         QStringList {QStringLiteral("rewrap"), QStringLiteral("--passphrase-file"), QStringLiteral("pass")}
             + rewrapTo(QStringLiteral("out.json")).mid(1)},
        {"rewrap_for_a_key_of_1024_bits", [](const Scene& s) { s.put("public.key", weakKeyFile(1024, "10001")); }, 1,
         "Could not read key file public.key: ReverizRSA: public key too short: 1024 bits, at least 2048\n",
         rewrapTo(QStringLiteral("out.json"))},
        {"rewrap_for_a_key_of_exponent_1", [](const Scene& s) { s.put("public.key", weakKeyFile(2048, "1")); }, 1,
         "Could not read key file public.key: ReverizRSA: public key fails the key check\n",
         rewrapTo(QStringLiteral("out.json"))},
        {"rewrap_log_for_another_actor",
         [](const Scene& s) {
             s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")));
             s.put("key", TestKeys::read(QStringLiteral("user-private.key")));
         },
         1, "Could not unwrap the key of log.json: DecryptWithWrongKey\n", rewrapTo(QStringLiteral("out.json"))},
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
    if (IsSkipped())
        return;
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

// Standard output gets the logs whole and in order, and nothing of a log whose stream fails only at its very end
// (its checksum): it is checked whole before any of it is written. A reader that stops early ends it quietly.
TEST(StandardOutput, NothingOfALogThatFailsAndQuietlyNothingMoreForAClosedPipe)
{
    QTemporaryDir directory;
    const Scene scene(directory.path());
    QByteArray large;
    for (int line = 0; large.size() < (3 << 20); ++line)
        large += "2026-12-08 12:00:00 INFO line " + QByteArray::number(line) + "\n";
    QByteArray brokenChecksum = qCompress(large, 1);
    brokenChecksum.back() = static_cast<char>(brokenChecksum.back() ^ 1);
    scene.put("bad.json", withCompressed(brokenChecksum));
    scene.put("large.json", withCompressed(qCompress(large, 1)));

    ProcessResult result =
        runProcess(keyUtility, {"decrypt", "-j", "2", "-o", "-", "key", "log.json", "bad.json", "log.json"},
                   QByteArray(), directory.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, failed + "bad.json: LRC2079\n");
    EXPECT_TRUE(result.out == plainLog + plainLog) << result.out.size() << " bytes";

    result = runProcess("/bin/bash",
                        {"-c",
                         "\"$0\" decrypt -o - key large.json large.json | head -c 100 >/dev/null; "
                         "echo ${PIPESTATUS[0]}",
                         keyUtility},
                        QByteArray(), directory.path());
    EXPECT_EQ(result.err, QByteArray());
    EXPECT_EQ(result.out, "1\n");
    EXPECT_EQ(FileProbes::entries(directory.path()), (QStringList {"bad.json", "key", "large.json", "log.json"}));
}

// Lost standard output is a failure: a full device is told, a closed pipe ends the command quietly.
TEST(StandardOutput, LostOutputOfShowHelpAndVersionIsAFailure)
{
    QTemporaryDir directory;
    const Scene scene(directory.path());
    const QByteArray full = QFile::encodeName(directory.filePath("full"));
    if (::mknod(full.constData(), S_IFCHR | 0666, ::makedev(1, 7)) != 0)
        GTEST_SKIP() << "mknod is not permitted here";
    const QStringList commands[] = {{"show", "log.json"}, {"show", "--json", "log.json"}, {"help"}, {"--version"}};
    for (const QStringList& arguments : commands) {
        for (const bool closedPipe : {false, true}) {
            SCOPED_TRACE(arguments.join(' ').toStdString()
                         + (closedPipe ? " into a closed pipe" : " into a full device"));
            int pipe[2] = {-1, -1};
            ASSERT_EQ(::pipe(pipe), 0);
            ::close(pipe[0]);
            const int output = closedPipe ? pipe[1] : ::open(full.constData(), O_WRONLY);
            const ProcessResult result =
                runProcess(keyUtility, arguments, QByteArray(), directory.path(),
                           QProcessEnvironment::systemEnvironment(), [output] { ::dup2(output, STDOUT_FILENO); });
            ::close(pipe[1]);
            if (!closedPipe)
                ::close(output);
            ASSERT_TRUE(result.ran);
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.err, closedPipe ? QByteArray() : "keyutility: write error: No space left on device\n");
        }
    }
}

// The attack the modes guard against: anyone may encrypt a program as a log for a public key and put a
// set-user-ID file where root's decrypt writes its output. No output takes such bits, nor the mode of a file
// that is someone else's or behind a link.
TEST(OutputModes, NoOutputCarriesSpecialBitsOrAModeItWasNotMeantToHave)
{
    struct ModeRow
    {
        const char* name;
        std::function<void(const Scene&, const QString& directory)> prepare;
        QString program;
        QStringList arguments;
        const char* output;
        mode_t expected;
        bool asRootOnly = false;
    };
    const auto existing = [](const char* name, mode_t mode) {
        return [name, mode](const Scene& s, const QString& directory) {
            s.put(name, "earlier");
            ASSERT_EQ(::chmod(QFile::encodeName(directory + '/' + name).constData(), mode), 0);
        };
    };
    const ModeRow rows[] = {
        {"decrypt_new_output", [](const Scene&, const QString&) {}, keyUtility, decrypt, "log.json.decrypted", 0600},
        {"decrypt_over_an_own_0640_file", existing("log.json.decrypted", 0640), keyUtility, decrypt,
         "log.json.decrypted", 0640},
        {"decrypt_over_an_own_set_user_id_file", existing("log.json.decrypted", 06755), keyUtility, decrypt,
         "log.json.decrypted", 0755},
        {"decrypt_over_a_link_to_an_own_0644_file",
         [](const Scene& s, const QString& directory) {
             s.put("elsewhere", "earlier");
             ASSERT_EQ(::chmod(QFile::encodeName(directory + "/elsewhere").constData(), 0644), 0);
             s.link("log.json.decrypted", "elsewhere");
         },
         keyUtility, decrypt, "log.json.decrypted", 0600},
        {"decrypt_over_another_users_set_user_id_file_in_a_sticky_directory",
         [](const Scene& s, const QString& directory) {
             ASSERT_EQ(::chmod(QFile::encodeName(directory).constData(), 01777), 0);
             s.put("log.json.decrypted", "x");
             const QByteArray output = QFile::encodeName(directory + "/log.json.decrypted");
             ASSERT_EQ(::chown(output.constData(), 65534, 65534), 0);
             ASSERT_EQ(::chmod(output.constData(), 04755), 0);
         },
         keyUtility, decrypt, "log.json.decrypted", 0600, true},
        {"encryptlog_over_an_own_set_user_id_file",
         [existing](const Scene& s, const QString& directory) {
             s.put("public.key", TestKeys::read(QStringLiteral("protocol-public.key")));
             s.put("plain", plainLog);
             existing("out.json", 04755)(s, directory);
         },
         encryptLog, encryptLogArguments, "out.json", 0644},
    };
    const mode_t previousUmask = ::umask(022);
    for (const ModeRow& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.asRootOnly && ::geteuid() != 0) {
            std::cout << "skipped " << row.name << ": it needs root, to give a file to another user\n";
            continue;
        }
        QTemporaryDir directory;
        const Scene scene(directory.path());
        row.prepare(scene, directory.path());
        const ProcessResult result = runProcess(row.program, row.arguments, QByteArray(), directory.path());
        ASSERT_TRUE(result.ran);
        EXPECT_EQ(result.status, 0) << result.err.toStdString();
        struct stat info = {};
        ASSERT_EQ(::lstat(QFile::encodeName(directory.filePath(QLatin1String(row.output))).constData(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, row.expected);
        EXPECT_EQ(info.st_uid, ::geteuid());
    }
    ::umask(previousUmask);
}

// Starts program (arguments[0]) in directory with its output discarded and no core file, and returns its pid.
pid_t start(const QString& directory, const QStringList& arguments)
{
    std::vector<QByteArray> encoded;
    encoded.reserve(static_cast<std::size_t>(arguments.size()));
    for (const QString& argument : arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    argv.reserve(encoded.size() + 1);
    for (QByteArray& argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QByteArray workingDirectory = QFile::encodeName(directory);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit noCore = {0, 0};
        const int null = ::open("/dev/null", O_WRONLY);
        if (::setrlimit(RLIMIT_CORE, &noCore) != 0 || ::chdir(workingDirectory.constData()) != 0 || null < 0
            || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0)
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// A signal while the output is being written: the temporary file of plain text goes, the earlier output stays, and
// the process ends as the signal ends it.
TEST(Interruption, SignalsRemoveTheTemporaryFileAndKeepTheEarlierOutput)
{
    QTemporaryDir directory;
    const Scene scene(directory.path());
    scene.put("log.json", withCompressed(qCompress(QByteArray(120 << 20, 'a'), 1)));
    const QStringList expected = {"key", "log.json", "log.json.decrypted"};
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        scene.put("log.json.decrypted", "earlier");
        bool interrupted = false;
        // The signal must arrive while the temporary file exists; a run that ends before is tried again.
        for (int attempt = 0; attempt < 20 && !interrupted; ++attempt) {
            const pid_t pid = start(directory.path(), QStringList {keyUtility} + decrypt);
            ASSERT_GT(pid, 0);
            for (int wait = 0; wait < 10000 && FileProbes::entries(directory.path()).size() == expected.size(); ++wait)
                ::usleep(500);
            ::kill(pid, signal);
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            interrupted = WIFSIGNALED(status);
            if (interrupted)
                EXPECT_EQ(WTERMSIG(status), signal);
            else
                scene.put("log.json.decrypted", "earlier");
        }
        EXPECT_TRUE(interrupted) << "every run ended before its signal";
        EXPECT_EQ(FileProbes::entries(directory.path()), expected);
        EXPECT_EQ(FileProbes::content(directory.filePath("log.json.decrypted")), "earlier");
    }
}

// Memory in proportion to the file: decrypt runs under an address-space limit of twice the file's size and
// 64 MiB beyond what the program itself maps, and must still refuse (or read) each of these files, not run out.
TEST(MemoryBounds, LargeHostileLogsAreRefusedWithinTwiceTheirSize)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit allows";
#endif
    constexpr qint64 programItself = qint64(128) << 20;
    const QByteArray numbers = QByteArray(qsizetype(10000000) * 2, ',').replace(",,", "1,");
    QByteArray noise(22 << 20, '\0');
    quint32 state = 7;
    for (char& byte : noise)
        byte = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
    const struct
    {
        const char* name;
        std::function<QByteArray()> text;
        QByteArray err;
    } rows[] = {
        {"array_nested_300_deep_with_ten_million_numbers",
         [&] { return "{\"x\":" + QByteArray(300, '[') + numbers + '1' + QByteArray(300, ']') + "}"; }, tooManyValues},
        {"key_padded_with_two_million_members",
         [] {
             QByteArray members;
             for (int i = 0; i < 2000000; ++i)
                 members += "\"" + QByteArray::number(i) + "\":0,";
             return withEnvelope([](Json::Value&) {}).text().replace("{\"data\"", "{" + members + "\"data\"");
         },
         tooManyValues},
        {"log_of_30_MiB_with_a_comment_read_permissively",
         [&] { return "// by hand\n" + withCompressed(qCompress(noise, 0)).text(); }, QByteArray()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir directory;
        const Scene scene(directory.path());
        const QByteArray text = row.text();
        scene.put("log.json", text);
        const qint64 limit = programItself + 2 * text.size() + (qint64(64) << 20);
        const ProcessResult result =
            runProcess("prlimit", QStringList {"--as=" + QString::number(limit), keyUtility} + decrypt, QByteArray(),
                       directory.path());
        ASSERT_TRUE(result.ran);
        EXPECT_EQ(result.err, row.err);
        EXPECT_EQ(result.status, row.err.isEmpty() ? 0 : 1);
    }
}

} // namespace
