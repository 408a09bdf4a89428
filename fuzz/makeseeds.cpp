// Writes the seed corpora of the fuzz targets with the library itself: makeseeds DIRECTORY writes
// DIRECTORY/<target>/<seed>. Run it on fuzz/corpus to renew the committed seeds; it never removes a file, so
// regression inputs stay. Envelopes, vectors and log-file keys are random, so the bytes differ from run to run.

#include "common/encryption/reverizkeyfile.h"
#include "common/encryption/reverizpackageblock.h"
#include "common/exceptions/reverizexception.h"
#include "common/internal/jsontext.h"
#include "fuzzsupport.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cstdio>
#include <cstdlib>

using namespace Reveriz::Internal;

namespace {

QString root;

void write(const char* target, const char* name, const QByteArray& content)
{
    const QString directory = root + QLatin1Char('/') + QLatin1String(target);
    QFile file(directory + QLatin1Char('/') + QLatin1String(name));
    if (!QDir().mkpath(directory) || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(content) != content.size()) {
        (void)std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

QByteArray compact(const Json::Value& value)
{
    return QByteArray::fromStdString(JsonText::compact(value));
}

QByteArray styled(const Json::Value& value)
{
    return QByteArray::fromStdString(JsonText::styled(value));
}

QByteArray flagged(char flags, const QByteArray& rest)
{
    return QByteArray(1, flags) + rest;
}

std::shared_ptr<ReverizRSA> fixturePair(const char* name)
{
    try {
        return Reveriz::KeyFile::Document::parse(FuzzSupport::fixture(QLatin1String(name)), QLatin1String(name)).pair();
    } catch (const ReverizException&) {
        std::exit(1);
    }
}

QByteArray logText(int lines)
{
    QByteArray text;
    for (int line = 0; line < lines; ++line)
        text += "2026-12-08 12:00:" + QByteArray::number(line % 60).rightJustified(2, '0') + " INFO package "
            + QByteArray::number(line * 7919 % 10007) + " stored\n";
    return text;
}

// qCompress output announcing size instead of the true length.
QByteArray withAnnouncedSize(QByteArray compressed, quint32 size)
{
    qToBigEndian(size, compressed.data());
    return compressed;
}

void keyFiles()
{
    write("fuzz_keyfile", "protocol_private.key",
          Reveriz::KeyFile::text(*fixturePair("protocol-private.key"), true).toByteArray());
    write("fuzz_keyfile", "protocol_protected.key",
          Reveriz::KeyFile::text(*fixturePair("protocol-protected.key"), true).toByteArray());
}

void keyIdentifiers()
{
    const QString folder = QStringLiteral("6fa459ea-ee8a-3ca4-894e-db77e160355e");
    const QString package = QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e");
    const char* target = "fuzz_keyidentifier";
    write(target, "session.json", compact(ReverizKeyIdentifier::createSessionKeyIdentifier().toJson()));
    write(target, "logfile.json", compact(ReverizKeyIdentifier::createLogfileKeyIdentifier().toJson()));
    write(target, "passphrase.json", compact(ReverizKeyIdentifier::createPassPhraseKeyIdentifier().toJson()));
    write(target, "package.json", compact(ReverizKeyIdentifier::createPackageKeyIdentifier(folder, package).toJson()));
    write(target, "package_without_folder.json",
          compact(ReverizKeyIdentifier::createPackageKeyWithoutFolderInformationIdentifier(package).toJson()));
}

Json::Value legacyPackageKey()
{
    Json::Value json(Json::objectValue);
    json["key"] = QByteArray("sixteen key byte").toBase64().toStdString();
    json["keyLengthInBytes"] = 16;
    json["packageId"] = "0f8fad5b-d9cb-469f-a165-70867728950e";
    return json;
}

void plainKeys()
{
    const char* target = "fuzz_plainkey";
    write(target, "logfile_aes.json", compact(FuzzSupport::aesKey().toJson()));
    write(target, "package_bf_1024.json", compact(FuzzSupport::blowfishKey().toJson()));
    write(target, "session_bf_fixed_vector.json",
          compact(ReverizKey::createSessionKey(QStringLiteral("bf-cbc"), 16, true)->toJson()));
    write(target, "passphrase_keylength_wrong.json",
          compact(ReverizKey::createPassPhraseBasedKey(QStringLiteral("correct horse"), QStringLiteral("aes-128-cbc"),
                                                       16, false)
                      ->toJson()));
    write(target, "legacy_package_id.json", compact(legacyPackageKey()));
}

void encryptedData()
{
    const char* target = "fuzz_decryptdata";
    const QByteArray text = logText(20);
    const QByteArray compressed = qCompress(text, 1);
    write(target, "aes_stored", flagged(0, FuzzSupport::aesKey().encryptData(text)));
    write(target, "bf_stored", flagged(1, FuzzSupport::blowfishKey().encryptData(text)));
    write(target, "aes_empty", flagged(0, QByteArray()));
    write(target, "aes_plain", flagged(2, compressed));
    write(target, "bf_plain", flagged(3, compressed));
    write(target, "aes_plain_announces_too_much", flagged(2, withAnnouncedSize(compressed, (1u << 27) + 1)));
    write(target, "aes_plain_announces_too_little", flagged(2, withAnnouncedSize(compressed, 3)));
    write(target, "bf_plain_header_only", flagged(3, QByteArray(4, '\0')));
    write(target, "bf_plain_stream_cut", flagged(3, compressed.chopped(3)));
}

void envelopes()
{
    const std::shared_ptr<ReverizRSA> pair = FuzzSupport::protocolPair();
    const char* target = "fuzz_rsaenvelope";
    write(target, "log_key.json", compact(pair->encrypt(FuzzSupport::aesKey().toJson())));
    Json::Value array(Json::arrayValue);
    array.append(1);
    array.append("two");
    write(target, "array.json", compact(pair->encrypt(array)));
    // 471 bytes of compact text: one byte more than a block takes.
    Json::Value twoBlocks(Json::objectValue);
    twoBlocks["t"] = std::string(471 - 8, 'x');
    write(target, "two_blocks.json", compact(pair->encrypt(twoBlocks)));
    write(target, "for_another_actor.json",
          compact(fixturePair("user-public.key")->encrypt(FuzzSupport::aesKey().toJson())));
}

void signedObjects()
{
    const std::shared_ptr<ReverizRSA> pair = FuzzSupport::protocolPair();
    const char* target = "fuzz_signedobject";
    Json::Value value(Json::objectValue);
    value["package"] = "0f8fad5b-d9cb-469f-a165-70867728950e";
    value["size"] = 4194304;
    write(target, "object.json", compact(pair->sign(value)));
    Json::Value array(Json::arrayValue);
    array.append(true);
    write(target, "array.json", compact(pair->sign(array)));
    write(target, "string_not_a_document.json", compact(pair->sign(Json::Value("text"))));
    write(target, "by_another_actor.json", compact(fixturePair("user-private.key")->sign(value)));
}

void wrappedKeys()
{
    const char* target = "fuzz_wrappedkey";
    write(target, "log_key", compact(FuzzSupport::aesKey().toJson()));
    write(target, "session_key", compact(ReverizKey::createSessionKey(QStringLiteral("bf-cbc"), 16, true)->toJson()));
    write(target, "passphrase_key",
          compact(ReverizKey::createPassPhraseBasedKey(QStringLiteral("correct horse"), QStringLiteral("aes-128-cbc"),
                                                       16, false)
                      ->toJson()));
    write(target, "legacy_package_key", compact(legacyPackageKey()));
    write(target, "array", compact(Json::Value(Json::arrayValue)));
}

void jsonFiles()
{
    const char* target = "fuzz_readjsonvalue";
    const QByteArray keyFile = FuzzSupport::fixture(QStringLiteral("user-public.key"));
    write(target, "key_file", flagged(0, keyFile));
    write(target, "key_file_in_companion", flagged(1, keyFile));
    write(target, "comments", flagged(0, "// written by hand\n{\"key\": /* wrapped */ {}, \"logData\": \"\"}\n"));
    write(target, "bare_number", flagged(0, "-12.5e3"));
    write(target, "truncated_in_companion", flagged(1, "{\"key\": "));
    write(target, "nested_arrays", flagged(0, "[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]"));
}

void blocks()
{
    const char* target = "fuzz_decryptblock";
    const QString source = FuzzSupport::scratchDirectory() + QStringLiteral("/source");
    QByteArray content = logText(40);
    for (int i = 0; i < 600; ++i)
        content += static_cast<char>((i * 2654435761u) >> 24);
    QFile file(source);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        std::exit(1);
    file.close();

    // Flags: bit 0 the "bf-cbc" key, bit 1 a payload that is plain data, bits 2 and 3 the package format version.
    const auto encrypted = [&](const ReverizKey& key, long long offset, bool compress) {
        ReverizPackageBlock block(offset, static_cast<int>(content.size() - offset));
        bool keepCompressing = false;
        key.encryptBlock(&block, source, compress, &keepCompressing);
        return compact(block.toJson()) + block.payload();
    };
    write(target, "aes_compressed", flagged(2 << 2, encrypted(FuzzSupport::aesKey(), 0, true)));
    write(target, "aes_uncompressed", flagged(1 << 2, encrypted(FuzzSupport::aesKey(), content.size() - 600, false)));
    write(target, "bf_compressed", flagged(1, encrypted(FuzzSupport::blowfishKey(), 0, true)));
    write(target, "aes_version_3_refused", flagged(3 << 2, encrypted(FuzzSupport::aesKey(), 0, false)));

    ReverizPackageBlock plainBlock(4294967296LL, 40);
    write(target, "bf_plain_at_4_gib",
          flagged(1 | 2 | (2 << 2), compact(plainBlock.toJson()) + qCompress(logText(2), 1)));
    plainBlock.setUncompressed(true);
    write(target, "aes_plain_uncompressed", flagged(2, compact(plainBlock.toJson()) + logText(1)));
}

Json::Value logFile(const ReverizRSA& pair, const std::shared_ptr<ReverizKey>& key, const QByteArray& text)
{
    Json::Value document(Json::objectValue);
    document["key"] = key->toJson(std::make_shared<ReverizRSA>(pair));
    if (!text.isNull())
        document["logData"] = key->encryptData(text).toBase64().toStdString();
    return document;
}

void logFiles()
{
    const char* target = "fuzz_decryptcommand";
    const ReverizRSA& pair = *FuzzSupport::protocolPair();
    const auto logKey = [] { return ReverizKey::createLogfileKey(QStringLiteral("aes-128-cbc"), 16, false); };
    write(target, "log.json", compact(logFile(pair, logKey(), logText(12))));
    write(target, "no_log_data.json", compact(logFile(pair, logKey(), QByteArray())));
    write(target, "styled_with_comment.json", "// a log\n" + styled(logFile(pair, logKey(), logText(3))));
    write(target, "bf_session_key.json",
          compact(logFile(pair, ReverizKey::createSessionKey(QStringLiteral("bf-cbc"), 16, true), logText(5))));
    write(target, "for_another_actor.json", compact(logFile(*fixturePair("user-public.key"), logKey(), logText(2))));
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        (void)std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    root = QFile::decodeName(argv[1]);
    keyFiles();
    keyIdentifiers();
    plainKeys();
    encryptedData();
    envelopes();
    signedObjects();
    wrappedKeys();
    jsonFiles();
    blocks();
    logFiles();
    return 0;
}
