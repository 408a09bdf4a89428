#ifndef REVERIZ_COMMON_INTERNAL_ZLIBINFLATER_H
#define REVERIZ_COMMON_INTERNAL_ZLIBINFLATER_H

#include <cstddef>
#include <memory>

namespace Reveriz::Internal {

/**
 * Inflates a zlib stream (RFC 1950: header, deflate data, Adler-32 of the output) piece by piece into buffers of
 * the caller's choice, so any amount of output goes through a fixed amount of memory. It accepts the streams
 * that zlib's inflate accepts: bytes after the stream's end are ignored; a stream that does not decode, asks for
 * a preset dictionary, fails its checksum or ends early is corrupt.
 */
class ZlibInflater
{
public:
    enum class State { Running, Finished, Corrupt };

    /** Reads the stream [data, data + size); the bytes must stay in place while the inflater lives. */
    ZlibInflater(const char* data, std::size_t size);
    ~ZlibInflater();
    ZlibInflater(const ZlibInflater&) = delete;
    ZlibInflater& operator=(const ZlibInflater&) = delete;

    /** Writes the next output into [out, out + capacity) and returns how much; 0 once the state is not Running. */
    std::size_t read(char* out, std::size_t capacity);
    State state() const { return m_state; }

private:
    struct Stream;
    std::unique_ptr<Stream> m_stream;
    State m_state = State::Running;
};

/**
 * Inflates a whole zlib stream into [out, out + capacity) in one go, faster than piece by piece, accepting
 * exactly the streams ZlibInflater accepts. NeedsMoreRoom says only that the output does not fit.
 */
struct WholeInflation
{
    enum class Result { Finished, Corrupt, NeedsMoreRoom };
    Result result;
    std::size_t size;
};
WholeInflation inflateWhole(const char* data, std::size_t size, char* out, std::size_t capacity);

} // namespace Reveriz::Internal

#endif
