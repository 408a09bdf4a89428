#include "cryptoinit.h"

#include "opensslptr.h"

#include <openssl/err.h>

#include <stdexcept>
#include <string>

namespace Reveriz::Crypto {

namespace {

OsslPtr<OSSL_PROVIDER> load(const char* name)
{
    OsslPtr<OSSL_PROVIDER> provider(OSSL_PROVIDER_load(/*libctx=*/nullptr, name));
    if (!provider) {
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

} // namespace Reveriz::Crypto
