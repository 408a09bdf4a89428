#include "cryptoinit.h"

#include "opensslptr.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/rand.h>

#include <stdexcept>
#include <string>

namespace Reveriz::Crypto {

namespace {

OsslPtr<OSSL_PROVIDER> load(const char* name)
{
    OsslPtr<OSSL_PROVIDER> provider(OSSL_PROVIDER_load(/*libctx=*/nullptr, name));
    if (!provider) {
        throwIfOutOfMemory();
        ERR_clear_error();
        throw std::runtime_error(std::string("could not load the OpenSSL provider \"") + name + "\"");
    }
    return provider;
}

struct Providers
{
    // Loading any provider explicitly disables the implicit default one, so both are named.
    OsslPtr<OSSL_PROVIDER> defaultProvider = load("default");
    OsslPtr<OSSL_PROVIDER> legacyProvider = load("legacy");
};

} // namespace

void initialize()
{
    // Built after OpenSSL registered its exit handler, so the providers are unloaded before OpenSSL cleans up
    // (the legacy provider leaks its child library context otherwise).
    static const Providers providers;
}

bool randomSourceWorks(std::string* reason)
{
    // Both generators: the public one makes vectors, the private one keys and blinding values.
    unsigned char probe[2] = {};
    if (RAND_bytes_ex(/*libctx=*/nullptr, probe, 1, /*strength=*/0) == 1
        && RAND_priv_bytes_ex(/*libctx=*/nullptr, probe + 1, 1, /*strength=*/0) == 1)
        return true;
    const unsigned long error = ERR_peek_error();
    const char* text = error != 0 ? ERR_reason_error_string(error) : nullptr;
    if (reason)
        *reason = text ? text : "no random data";
    ERR_clear_error();
    return false;
}

} // namespace Reveriz::Crypto
