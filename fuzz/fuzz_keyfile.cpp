// Key files from anywhere: reading either throws a ReverizException or yields a pair that survives writing and
// loading again, and whose private key, if any, is usable or refused with a ReverizException: a protected one is
// unlocked with the fixture pass phrase, then it signs once and the public half verifies. Anything else escaping
// (a JsonCpp logic error on an unexpected value type, an OpenSSL failure taken for success) is a crash.

#include "common/encryption/cryptoinit.h"
#include "common/encryption/reverizkeyfile.h"
#include "common/exceptions/reverizexception.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reveriz::Crypto::initialize();
    std::shared_ptr<ReverizRSA> pair;
    try {
        pair = Reveriz::KeyFile::Document::parse(
                   QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), "fuzz")
                   .pair();
    } catch (const ReverizException&) {
        return 0;
    }

    // What the writer writes, the reader reads back.
    const std::shared_ptr<ReverizRSA> again =
        Reveriz::KeyFile::Document::parse(Reveriz::KeyFile::text(*pair, true).toByteArray(), "written").pair();
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
