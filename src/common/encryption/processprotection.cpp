#include "processprotection.h"

#include "cryptoinit.h"

#include <openssl/crypto.h>
#include <openssl/err.h>

#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <utility>

namespace Reveriz::Crypto {

namespace {

// Room for the private numbers of several 4096-bit keys (about 2 KiB each) and the temporaries of their use.
constexpr std::size_t secureHeapSize = std::size_t(1) << 18;
constexpr std::size_t secureHeapMinimumBlock = 32;

// OpenSSL often reports a failed allocation as a failed operation only (its decoders drop the errors of the
// decoders they try), so its allocations are watched: a failure is noted for the thread that asked.
thread_local bool allocationFailed = false;

void* noted(void* block, std::size_t size)
{
    allocationFailed = allocationFailed || (block == nullptr && size > 0);
    return block;
}

// OpenSSL frees many buffers without cleansing them (its PEM reader's lines, decoder buffers); these wipe every
// block before it goes back to the C library.
void* allocate(std::size_t size, const char* /*file*/, int /*line*/)
{
    return noted(std::malloc(size), size);
}

void release(void* block, const char* /*file*/, int /*line*/)
{
    if (block)
        OPENSSL_cleanse(block, ::malloc_usable_size(block));
    std::free(block);
}

// realloc would leave the old block's bytes behind when it moves them.
void* reallocate(void* block, std::size_t size, const char* file, int line)
{
    if (!block)
        return allocate(size, file, line);
    if (size == 0) {
        release(block, file, line);
        return nullptr;
    }
    const std::size_t held = ::malloc_usable_size(block);
    if (size <= held)
        return block;
    void* moved = noted(std::malloc(size), size);
    if (!moved)
        return nullptr;
    std::memcpy(moved, block, held);
    release(block, file, line);
    return moved;
}

} // namespace

void throwIfOutOfMemory()
{
    bool outOfMemory = std::exchange(allocationFailed, false);
    for (unsigned long error = 0; (error = ERR_get_error()) != 0;)
        outOfMemory = outOfMemory || ERR_GET_REASON(error) == ERR_R_MALLOC_FAILURE;
    if (outOfMemory)
        throw std::bad_alloc();
}

void protectProcessSecrets() noexcept
{
    (void)::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit noCore {0, 0};
    (void)::setrlimit(RLIMIT_CORE, &noCore);
    // Refused once OpenSSL has allocated anything; then OpenSSL frees as it always does.
    (void)CRYPTO_set_mem_functions(allocate, reallocate, release);
    // 0 when there is no secure heap (OpenSSL then allocates "secure" memory normally), 2 when its pages could not
    // be locked; either way OpenSSL works.
    (void)CRYPTO_secure_malloc_init(secureHeapSize, secureHeapMinimumBlock);
}

} // namespace Reveriz::Crypto
