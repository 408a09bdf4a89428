// Signed objects from anywhere into ReverizRSA::verify with the fixture protocol pair: a ReverizException, or the
// signed JSON object or array of an object that isSigned recognises.

#include "common/exceptions/reverizexception.h"
#include "common/internal/jsontext.h"
#include "fuzzsupport.h"

#include <cstdlib>

using namespace Reveriz::Internal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::shared_ptr<ReverizRSA> pair = FuzzSupport::protocolPair();
    Json::Value signedObject;
    const char* text = reinterpret_cast<const char*>(data);
    if (!JsonText::parsePermissive(text, text + size, signedObject))
        return 0;

    const bool isSigned = ReverizRSA::isSigned(signedObject);
    Json::Value value;
    try {
        value = pair->verify(signedObject);
    } catch (const ReverizException&) {
        return 0;
    }
    if (!isSigned || (!value.isObject() && !value.isArray()))
        std::abort();
    return 0;
}
