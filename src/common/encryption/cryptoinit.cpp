#include "cryptoinit.h"

#include "opensslptr.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/rand.h>

#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace Reveriz::Crypto {

namespace {

// OpenSSL often reports a failed allocation as a failed operation only (its decoders drop the errors of the
// decoders they try), so its allocations are watched: a failure is noted for the thread that asked.
thread_local bool allocationFailed = false;

extern "C" {
static void* watchedMalloc(size_t size, const char* /*file*/, int /*line*/)
{
    void* memory = std::malloc(size);
    allocationFailed = allocationFailed || (memory == nullptr && size > 0);
    return memory;
}

static void* watchedRealloc(void* memory, size_t size, const char* /*file*/, int /*line*/)
{
    void* resized = std::realloc(memory, size);
    allocationFailed = allocationFailed || (resized == nullptr && size > 0);
    return resized;
}

static void watchedFree(void* memory, const char* /*file*/, int /*line*/)
{
    std::free(memory);
}
} // extern "C"

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
    // Only possible before OpenSSL's first allocation; later, failures are told by the error queue alone.
    static const bool watched = CRYPTO_set_mem_functions(watchedMalloc, watchedRealloc, watchedFree) == 1;
    (void)watched;
    // Built after OpenSSL registered its exit handler, so the providers are unloaded before OpenSSL cleans up
    // (the legacy provider leaks its child library context otherwise).
    static const Providers providers;
}

void throwIfOutOfMemory()
{
    bool outOfMemory = std::exchange(allocationFailed, false);
    for (unsigned long error = 0; (error = ERR_get_error()) != 0;)
        outOfMemory = outOfMemory || ERR_GET_REASON(error) == ERR_R_MALLOC_FAILURE;
    if (outOfMemory)
        throw std::bad_alloc();
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
