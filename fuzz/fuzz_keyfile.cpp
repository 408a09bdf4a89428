// Key files from anywhere: loading either throws a ReverizException or yields a pair that survives writing and
// loading again, and whose private key, if any, is usable or refused with a ReverizException: a protected one is
// unlocked with the fixture pass phrase, then it signs once and the public half verifies. Anything else escaping
// (a JsonCpp logic error on an unexpected value type, an OpenSSL failure taken for success) is a crash.

#include "common/encryption/cryptoinit.h"
#include "common/encryption/reverizrsa.h"
#include "common/exceptions/reverizexception.h"
#include "common/internal/jsontext.h"

#include <cstdint>
#include <cstdlib>

using namespace Reveriz::Internal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reveriz::Crypto::initialize();
    Json::Value json;
    if (!JsonText::parsePermissive(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size,
                                   json))
        return 0;
    std::shared_ptr<ReverizRSA> pair;
    try {
        pair = ReverizRSA::fromJson(json);
    } catch (const ReverizException&) {
        return 0;
    }

    const std::shared_ptr<ReverizRSA> again = ReverizRSA::fromJson(pair->toJson(true));
    if (!(again->keyOwner() == pair->keyOwner()) || again->publicKey() != pair->publicKey()
        || again->privateKey() != pair->privateKey())
        std::abort();
    // A protected but empty private key is not written, so it comes back unprotected.
    if (!pair->privateKey().isEmpty() && again->requiresPassPhrase() != pair->requiresPassPhrase())
        std::abort();

    if (pair->privateKey().isEmpty())
        return 0;
    try {
        if (pair->requiresPassPhrase())
            pair->supplyPassphrase(QStringLiteral("correct horse"));
        const QByteArray message("signed by a fuzzed key file");
        pair->verify(message, pair->sign(message));
    } catch (const ReverizException&) {
    }
    return 0;
}
