// The tools' replacement of the global operator new and delete: every block the C++ run time frees is wiped first. The
// std::string buffers inside JsonCpp's reader and writer (a key file's text as it is written, the members of a
// key's plain form as they are read) grow and are released out of the code's reach; this leaves no copy of them
// in freed memory. The blocks come from malloc, which tells their size.
//
// Not under the sanitizers, which keep their own operator new and delete.

#include "common/securebytes.h"

#include <cstdlib>
#include <malloc.h>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define REVERIZ_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define REVERIZ_SANITIZED 1
#endif
#endif

#ifndef REVERIZ_SANITIZED

void* operator new(std::size_t size)
{
    for (;;) {
        if (void* block = std::malloc(size == 0 ? 1 : size))
            return block;
        const std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void operator delete(void* block) noexcept
{
    if (block)
        Reveriz::wipe(block, ::malloc_usable_size(block));
    std::free(block);
}

void operator delete[](void* block) noexcept
{
    operator delete(block);
}

void operator delete(void* block, std::size_t /*size*/) noexcept
{
    operator delete(block);
}

void operator delete[](void* block, std::size_t /*size*/) noexcept
{
    operator delete(block);
}

#endif
