#include "securebytes.h"

// The one use of OpenSSL outside the encryption layer: its wipe is the one the compiler is known not to drop.
#include <openssl/crypto.h>

#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace Reveriz {

namespace {

std::size_t wholePages(std::size_t size)
{
    static const auto pageSize = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return (size + pageSize - 1) / pageSize * pageSize;
}

} // namespace

void wipe(void* data, std::size_t size) noexcept
{
    if (data && size > 0)
        OPENSSL_cleanse(data, size);
}

void wipe(QByteArray& array) noexcept
{
    // A shared or raw array would detach (copy) on data(); its bytes belong to another owner.
    if (array.isDetached()) {
        wipe(array.data(), static_cast<std::size_t>(array.capacity()));
        array.resize(0); // keeps the wiped buffer until the array goes
    } else {
        array = QByteArray();
    }
}

void wipe(QString& text) noexcept
{
    if (text.isDetached()) {
        wipe(text.data(), static_cast<std::size_t>(text.capacity()) * sizeof(QChar));
        text.resize(0);
    } else {
        text = QString();
    }
}

void wipe(std::string& text) noexcept
{
    wipe(text.data(), text.capacity());
    text.clear();
}

void wipe(Json::Value& value) noexcept
{
    if (value.isString()) {
        const char* begin = nullptr;
        const char* end = nullptr;
        if (value.getString(&begin, &end))
            wipe(const_cast<char*>(begin), static_cast<std::size_t>(end - begin));
    } else if (value.isArray() || value.isObject()) {
        for (Json::Value& member : value)
            wipe(member);
    }
}

void* LockedPages::allocate(std::size_t size)
{
    const std::size_t length = wholePages(size);
    void* pages = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        throw std::bad_alloc();
    // Both best effort: the lock limit of unprivileged users is small, and a kernel may lack the advice.
    (void)::mlock(pages, length);
    (void)::madvise(pages, length, MADV_DONTDUMP);
    return pages;
}

void LockedPages::release(void* data, std::size_t size) noexcept
{
    const std::size_t length = wholePages(size);
    (void)::munlock(data, length);
    (void)::munmap(data, length);
}

} // namespace Reveriz
