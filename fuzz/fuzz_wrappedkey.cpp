// Wrapped keys with any plain text inside: the input is what an envelope for the fixture protocol pair carries,
// encrypted here as a peer holding the public key would, and unwrapped with ReverizKey::fromJson and the pair.
// One RSA block at most, so one private-key operation per input. The unwrapped key must be the one the plain
// reader makes of the same text, and every failure a ReverizException (or the JSON library's own for a
// "keyLengthInBytes" it cannot make an int of).

#include "common/exceptions/reverizexception.h"
#include "common/internal/jsontext.h"
#include "fuzzsupport.h"

#include <json/value.h>

#include <cstdlib>

using namespace Reveriz::Internal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::shared_ptr<ReverizRSA> pair = FuzzSupport::protocolPair();
    const QByteArray text = FuzzSupport::bytes(data, size);
    if (text.size() > 512 - 42)
        return 0;
    Json::Value envelope(Json::objectValue);
    envelope["encryptedfor"] = pair->keyOwner().toJson();
    envelope["data"] = FuzzSupport::peerOaepEncrypt(*pair, text).toBase64().toStdString();

    std::shared_ptr<ReverizKey> key;
    try {
        key = ReverizKey::fromJson(pair, envelope);
    } catch (const ReverizException&) {
        return 0;
    } catch (const Json::Exception&) {
        return 0;
    }
    Json::Value plain;
    if (!JsonText::parseStrict(text, plain) || *ReverizKey::fromJson(plain) != *key)
        std::abort();
    return 0;
}
