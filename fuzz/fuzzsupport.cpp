#include "fuzzsupport.h"

#include "common/encryption/cryptoinit.h"
#include "common/encryption/encryptedlogfile.h"
#include "common/encryption/internal/logfilereader.h"
#include "common/encryption/opensslptr.h"
#include "common/encryption/reverizkeyidentifier.h"
#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "common/internal/jsontext.h"
#include "support/reference.h"

#include <QFile>
#include <QTemporaryDir>

#include <openssl/rsa.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <typeinfo>

using namespace Reveriz::Internal;
using Reveriz::OsslPtr;

namespace FuzzSupport {

namespace {

[[noreturn]] void setupFailed(const char* what)
{
    (void)std::fprintf(stderr, "fuzz set-up failed: %s\n", what);
    std::abort();
}

void initialize()
{
    static const bool initialized = [] {
        Reveriz::Crypto::initialize();
        return true;
    }();
    (void)initialized;
}

unsigned char* data(QByteArray& array)
{
    return reinterpret_cast<unsigned char*>(array.data());
}

const unsigned char* data(const QByteArray& array)
{
    return reinterpret_cast<const unsigned char*>(array.constData());
}

// The vector a peer stores in front of data for keys without the fixed one (none for those keys); fixed, so inputs
// replay exactly.
QByteArray peerIvec(const ReverizKey& key)
{
    if (key.fixedIvec())
        return QByteArray();
    QByteArray ivec(static_cast<qsizetype>(key.keyLengthInBytes()), '\0');
    for (qsizetype i = 0; i < ivec.size(); ++i)
        ivec[i] = static_cast<char>(0xa5 ^ i);
    return ivec;
}

} // namespace

QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

QByteArray fixture(const QString& name)
{
    initialize();
    QFile file(QStringLiteral(FUZZ_KEYS_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        setupFailed("cannot read a fixture key file");
    return file.readAll();
}

std::shared_ptr<ReverizRSA> protocolPair()
{
    static const std::shared_ptr<ReverizRSA> pair = [] {
        initialize();
        Json::Value json;
        if (!JsonText::parseStrict(fixture(QStringLiteral("protocol-private.key")), json))
            setupFailed("the fixture key file is not JSON");
        return ReverizRSA::fromJson(json);
    }();
    return pair;
}

const ReverizKey& aesKey()
{
    initialize();
    static const ReverizKey key(ReverizKeyIdentifier::createLogfileKeyIdentifier(), QByteArray("fuzzing aes key!"),
                                QStringLiteral("aes-128-cbc"), 16, false);
    return key;
}

const ReverizKey& blowfishKey()
{
    initialize();
    static const ReverizKey key = [] {
        QByteArray bytes(1024, '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 131 + 7);
        return ReverizKey(ReverizKeyIdentifier::createPackageKeyWithoutFolderInformationIdentifier(
                              QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e")),
                          bytes, QStringLiteral("bf-cbc"), 1024, true);
    }();
    return key;
}

QString scratchDirectory()
{
    initialize();
    static QTemporaryDir directory;
    if (!directory.isValid())
        setupFailed("cannot create a scratch directory");
    return directory.path();
}

QByteArray peerEncrypt(const ReverizKey& key, const QByteArray& plain)
{
    initialize();
    return Reference::encrypt(key.cipherName(), key.key(), peerIvec(key), plain);
}

std::optional<QByteArray> peerDecrypt(const ReverizKey& key, const QByteArray& stored)
{
    initialize();
    return Reference::decrypt(key.cipherName(), key.key(),
                              key.fixedIvec() ? 0 : static_cast<qsizetype>(key.keyLengthInBytes()), stored);
}

std::shared_ptr<ReverizKey> unwrapLogKey(const Json::Value& wrapped)
{
    static std::map<std::string, std::shared_ptr<ReverizKey>> keys;
    static std::map<std::string, std::string> failures;
    const std::string text = JsonText::compact(wrapped);
    if (const auto key = keys.find(text); key != keys.end())
        return key->second;
    if (const auto failure = failures.find(text); failure != failures.end())
        throw std::runtime_error(failure->second);
    if (keys.size() + failures.size() > 1000) {
        keys.clear();
        failures.clear();
    }
    try {
        return keys[text] = ReverizKey::fromJson(
                   protocolPair()->decrypt(wrapped, Reveriz::EncryptedLogFile::MaximumKeyCiphertextSize));
    } catch (const ReverizException& e) {
        failures[text] =
            std::string(typeid(e).name()) + ":" + e.errorMessage(ReverizException::FormatWithName).toStdString();
    } catch (const std::exception& e) {
        failures[text] = e.what();
    }
    throw std::runtime_error(failures[text]);
}

QByteArray referencePlainLog(const QByteArray& text, const QString& name)
{
    Json::Value document;
    if (!JsonText::parsePermissive(text, document))
        throw FileUtilities::jsonParseFailure(name, REVERIZ_HERE);
    QByteArray storage;
    const LogFileReader::Parts parts = LogFileReader::fromDocument(document, storage);
    return unwrapLogKey(parts.key)->decryptData(QByteArray::fromBase64(storage));
}

QByteArray peerOaepEncrypt(const ReverizRSA& pair, const QByteArray& text)
{
    const OsslPtr<EVP_PKEY> key = pair.makeRSA(false);
    const OsslPtr<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_pkey(/*libctx=*/nullptr, key.get(),
                                                                   /*propquery=*/nullptr));
    if (!context || EVP_PKEY_encrypt_init(context.get()) <= 0
        || EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_OAEP_PADDING) <= 0
        || EVP_PKEY_CTX_set_rsa_oaep_md_name(context.get(), "SHA1", /*mdprops=*/nullptr) <= 0)
        setupFailed("peer OAEP init");
    const qsizetype blockSize = EVP_PKEY_get_size(key.get());
    const qsizetype chunkSize = blockSize - 42;
    QByteArray ciphertext;
    for (qsizetype offset = 0; offset < text.size(); offset += chunkSize) {
        const QByteArray chunk = text.mid(offset, chunkSize);
        QByteArray block(blockSize, '\0');
        auto written = static_cast<size_t>(blockSize);
        if (EVP_PKEY_encrypt(context.get(), data(block), &written, data(chunk), static_cast<size_t>(chunk.size())) <= 0)
            setupFailed("peer OAEP encryption");
        ciphertext += block;
    }
    return ciphertext;
}

} // namespace FuzzSupport
