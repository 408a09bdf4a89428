// Key identifier JSON from anywhere: ReverizKeyIdentifier::fromJson throws InvalidJsonInputException or yields an
// identifier that its own JSON form reads back as equal.

#include "common/encryption/reverizkeyidentifier.h"
#include "common/exceptions/reverizexception.h"
#include "common/internal/jsontext.h"

#include <cstdint>
#include <cstdlib>

using namespace Reveriz::Internal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Json::Value json;
    const char* text = reinterpret_cast<const char*>(data);
    if (!JsonText::parsePermissive(text, text + size, json))
        return 0;
    std::optional<ReverizKeyIdentifier> identifier;
    try {
        identifier = ReverizKeyIdentifier::fromJson(json);
    } catch (const InvalidJsonInputException&) {
        return 0;
    }
    if (ReverizKeyIdentifier::fromJson(identifier->toJson()) != *identifier)
        std::abort();
    return 0;
}
