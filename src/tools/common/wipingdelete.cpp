// The tools' replacement of the global operator delete: every block the C++ run time frees is wiped first. The
// std::string buffers inside JsonCpp's reader and writer (a key file's text as it is written, the members of a
// key's plain form as they are read) grow and are released out of the code's reach; this leaves no copy of them
// in freed memory. The default operator new takes its blocks from malloc, which tells their size.
//
// Not under AddressSanitizer, which keeps its own operator new and delete.

#include "common/securebytes.h"

#include <cstdlib>
#include <malloc.h>
#include <new>

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

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
