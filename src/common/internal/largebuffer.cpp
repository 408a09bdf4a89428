#include "largebuffer.h"

#include "inputfile.h"

#include <new>
#include <sys/mman.h>
#include <utility>

namespace Reveriz::Internal {

namespace {

constexpr std::size_t hugePageSize = std::size_t(2) << 20;

} // namespace

LargeBuffer::LargeBuffer(std::size_t size)
    : m_size(size)
{
    if (size == 0)
        return;
    // Whole huge pages, so the kernel can back all of it with them.
    m_mapped = (size + hugePageSize - 1) / hugePageSize * hugePageSize;
    void* area = ::mmap(nullptr, m_mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED)
        throw std::bad_alloc();
    // Only a hint: without transparent huge pages the area is ordinary memory.
    (void)::madvise(area, m_mapped, MADV_HUGEPAGE);
    m_data = static_cast<char*>(area);
}

LargeBuffer::~LargeBuffer()
{
    release();
}

LargeBuffer::LargeBuffer(LargeBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
    , m_mapped(std::exchange(other.m_mapped, 0))
{
}

LargeBuffer& LargeBuffer::operator=(LargeBuffer&& other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapped = std::exchange(other.m_mapped, 0);
    }
    return *this;
}

void LargeBuffer::release() noexcept
{
    if (m_data)
        ::munmap(m_data, m_mapped);
    m_data = nullptr;
    m_size = 0;
    m_mapped = 0;
}

// The reader of the log files' fast path; it shares the checks of FileUtilities' readers.
LargeBuffer readLargeFile(const QString& path, bool recoverTempReplace, qint64 maximumSize)
{
    InputFile file(path, recoverTempReplace, maximumSize);
    LargeBuffer buffer(static_cast<std::size_t>(file.size()) + 1);
    file.readAll(buffer.data());
    return buffer;
}

} // namespace Reveriz::Internal
