// Whole encrypted log files through the decrypt command's path (the fast reader, Base64 in place, streaming
// decryption) against the reference path (the permissive reader, QByteArray::fromBase64, decryptData): the same
// plain bytes, or the same failure.

#include "common/encryption/cryptoinit.h"
#include "common/encryption/encryptedlogfile.h"
#include "common/encryption/internal/logfilereader.h"
#include "common/encryption/reverizkey.h"
#include "common/encryption/reverizkeyfile.h"
#include "common/encryption/reverizrsa.h"
#include "common/exceptions/reverizexception.h"
#include "common/fileutilities.h"
#include "common/internal/jsontext.h"

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>

using namespace Reveriz::Internal;

namespace {

const std::shared_ptr<ReverizRSA>& keyPair()
{
    static const std::shared_ptr<ReverizRSA> pair = [] {
        Reveriz::Crypto::initialize();
        return Reveriz::KeyFile::read(QStringLiteral(TEST_KEYS_DIR "/protocol-private.key"), false);
    }();
    return pair;
}

// What a path gave: the plain bytes, or the kind and text of what it threw.
std::string outcomeOf(const std::function<std::string()>& decrypt)
{
    try {
        return "plain:" + decrypt();
    } catch (const ReverizException& e) {
        return "failed:" + std::string(typeid(e).name()) + ":"
            + e.errorMessage(ReverizException::FormatWithName).toStdString();
    } catch (const std::exception& e) {
        return std::string("library error:") + e.what();
    }
}

// Unwrapping costs an RSA operation; both paths unwrap the same key JSON, so the result is kept per text.
std::shared_ptr<ReverizKey> unwrapped(const Json::Value& wrapped)
{
    static std::map<std::string, std::string> failures;
    static std::map<std::string, std::shared_ptr<ReverizKey>> keys;
    const std::string text = JsonText::compact(wrapped);
    if (const auto key = keys.find(text); key != keys.end())
        return key->second;
    if (failures.count(text))
        throw std::runtime_error(failures[text]);
    try {
        return keys[text] = ReverizKey::fromJson(
                   keyPair()->decrypt(wrapped, Reveriz::EncryptedLogFile::MaximumKeyCiphertextSize));
    } catch (const ReverizException& e) {
        failures[text] =
            std::string(typeid(e).name()) + ":" + e.errorMessage(ReverizException::FormatWithName).toStdString();
    } catch (const std::exception& e) {
        failures[text] = e.what();
    }
    throw std::runtime_error(failures[text]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    keyPair();

    const QString name = QStringLiteral("log.json");
    const std::string reference = outcomeOf([&] {
        Json::Value document;
        if (!JsonText::parsePermissive(text.data(), text.data() + text.size(), document))
            throw FileUtilities::jsonParseFailure(name, REVERIZ_HERE);
        QByteArray storage;
        const LogFileReader::Parts parts = LogFileReader::fromDocument(document, storage);
        const std::shared_ptr<ReverizKey> key = unwrapped(parts.key);
        return key->decryptData(QByteArray::fromBase64(storage)).toStdString();
    });

    const std::string fast = outcomeOf([&] {
        Reveriz::EncryptedLogFile::LogFile file =
            Reveriz::EncryptedLogFile::LogFile::read(QByteArray::fromStdString(text), name);
        const std::shared_ptr<ReverizKey> key = unwrapped(file.wrappedKey());
        std::string plain;
        const bool finished = file.decryptTo(*key, [&](const char* piece, std::size_t n) {
            plain.append(piece, n);
            return true;
        });
        if (!finished)
            std::abort();
        return plain;
    });

    if (fast != reference)
        std::abort();
    return 0;
}
