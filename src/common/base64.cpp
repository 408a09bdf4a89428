#include "base64.h"

#include <array>
#include <cstdint>

namespace Base64 {

namespace {

constexpr std::int8_t Skip = -1;

constexpr std::array<std::int8_t, 256> decodingTable()
{
    std::array<std::int8_t, 256> table {};
    for (auto& entry : table)
        entry = Skip;
    for (int i = 0; i < 26; ++i) {
        table[static_cast<std::size_t>('A' + i)] = static_cast<std::int8_t>(i);
        table[static_cast<std::size_t>('a' + i)] = static_cast<std::int8_t>(26 + i);
    }
    for (int i = 0; i < 10; ++i)
        table[static_cast<std::size_t>('0' + i)] = static_cast<std::int8_t>(52 + i);
    table['+'] = 62;
    table['/'] = 63;
    return table;
}

constexpr std::array<std::int8_t, 256> table = decodingTable();

std::int32_t valueOf(char c)
{
    return table[static_cast<unsigned char>(c)];
}

} // namespace

std::size_t decodeLenient(const char* text, std::size_t size, char* out)
{
    // Writing never overtakes reading (three bytes out for every four characters in), so in place is safe.
    std::size_t read = 0;
    std::size_t written = 0;
    std::uint32_t pending = 0;
    int pendingBits = 0;
    while (read < size) {
        // The common case: eight alphabet characters on a quartet boundary give six bytes at once.
        if (pendingBits == 0 && read + 8 <= size) {
            const std::int32_t a = valueOf(text[read]), b = valueOf(text[read + 1]), c = valueOf(text[read + 2]),
                               d = valueOf(text[read + 3]), e = valueOf(text[read + 4]), f = valueOf(text[read + 5]),
                               g = valueOf(text[read + 6]), h = valueOf(text[read + 7]);
            if ((a | b | c | d | e | f | g | h) >= 0) {
                const std::uint64_t bits = (std::uint64_t(a) << 42) | (std::uint64_t(b) << 36)
                    | (std::uint64_t(c) << 30) | (std::uint64_t(d) << 24) | (std::uint64_t(e) << 18)
                    | (std::uint64_t(f) << 12) | (std::uint64_t(g) << 6) | std::uint64_t(h);
                for (int shift = 40; shift >= 0; shift -= 8)
                    out[written++] = static_cast<char>(bits >> shift);
                read += 8;
                continue;
            }
        }
        // Otherwise one character: skipped outside the alphabet, else six more bits.
        const std::int32_t value = valueOf(text[read++]);
        if (value == Skip)
            continue;
        pending = (pending << 6) | static_cast<std::uint32_t>(value);
        pendingBits += 6;
        if (pendingBits >= 8) {
            pendingBits -= 8;
            out[written++] = static_cast<char>(pending >> pendingBits);
            pending &= (1u << pendingBits) - 1;
        }
    }
    return written;
}

} // namespace Base64
