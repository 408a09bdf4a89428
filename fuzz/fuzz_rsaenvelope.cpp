// RSA envelopes from anywhere into ReverizRSA::decrypt with the fixture protocol pair: a ReverizException or a
// JSON object or array, nothing else. Envelopes of more than two RSA blocks are skipped: each block costs a
// private-key operation, and two already take every path of the block loop.

#include "common/exceptions/reverizexception.h"
#include "common/internal/jsontext.h"
#include "fuzzsupport.h"

#include <cstdlib>

using namespace Reveriz::Internal;

namespace {

// The fixture pair's modulus, 4096 bits.
constexpr qsizetype rsaBlockSize = 512;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::shared_ptr<ReverizRSA> pair = FuzzSupport::protocolPair();
    Json::Value envelope;
    const char* text = reinterpret_cast<const char*>(data);
    if (!JsonText::parsePermissive(text, text + size, envelope))
        return 0;
    if (envelope.isObject() && envelope["data"].isString()
        && QByteArray::fromBase64(QByteArray::fromStdString(envelope["data"].asString())).size() > 2 * rsaBlockSize)
        return 0;

    Json::Value value;
    try {
        value = pair->decrypt(envelope);
    } catch (const ReverizException&) {
        return 0;
    }
    if (!value.isObject() && !value.isArray())
        std::abort();
    return 0;
}
