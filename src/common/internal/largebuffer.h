#ifndef REVERIZ_COMMON_INTERNAL_LARGEBUFFER_H
#define REVERIZ_COMMON_INTERNAL_LARGEBUFFER_H

#include <QString>

#include <cstddef>

namespace Reveriz::Internal {

/**
 * A private, zero-filled memory area for inputs of many megabytes, backed by huge pages where the system offers
 * them: touching fresh memory page by page costs more than reading a file into it. Move-only.
 */
class LargeBuffer
{
public:
    LargeBuffer() = default;
    /** size bytes; throws std::bad_alloc when the system has no memory for them. */
    explicit LargeBuffer(std::size_t size);
    ~LargeBuffer();
    LargeBuffer(LargeBuffer&& other) noexcept;
    LargeBuffer& operator=(LargeBuffer&& other) noexcept;
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;

    char* data() { return m_data; }
    const char* data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    void release() noexcept;

    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_mapped = 0;
};

/**
 * Reads path like FileUtilities::readByteArray, with the same checks and failures, into a large buffer that the
 * caller may change in place: the file's bytes followed by one zero byte (the buffer's size is the file's size + 1).
 */
LargeBuffer readLargeFile(const QString& path, bool recoverTempReplace, qint64 maximumSize);

} // namespace Reveriz::Internal

#endif
