// Plain key JSON from anywhere: ReverizKey::fromJson throws a ReverizException (or, for a "keyLengthInBytes" the
// JSON library cannot make an int of, its own exception, which the decrypt command reports) or yields a key that
// its JSON form reads back as equal and that decrypts what it encrypts.

#include "common/exceptions/reverizexception.h"
#include "common/internal/jsontext.h"
#include "fuzzsupport.h"

#include <json/value.h>

#include <cstdlib>

using namespace Reveriz::Internal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSupport::aesKey(); // loads the providers, for "bf-cbc"
    Json::Value json;
    const char* text = reinterpret_cast<const char*>(data);
    if (!JsonText::parsePermissive(text, text + size, json))
        return 0;
    std::shared_ptr<ReverizKey> key;
    try {
        key = ReverizKey::fromJson(json);
    } catch (const ReverizException&) {
        return 0;
    } catch (const Json::Exception&) {
        return 0;
    }
    if (*ReverizKey::fromJson(key->toJson()) != *key)
        std::abort();

    // A key the cipher refuses (unknown name, too short, no usable vector) fails alike in both directions.
    const QByteArray message("2026-12-08 12:00:00 INFO fuzzing\n");
    QByteArray encrypted;
    try {
        encrypted = key->encryptData(message);
    } catch (const EncryptionFailedException&) {
        return 0;
    }
    if (key->decryptData(encrypted) != message)
        std::abort();
    return 0;
}
