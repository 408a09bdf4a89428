#include "base64.h"

#include <array>
#include <cstdint>

namespace Reveriz::Internal::Base64 {

namespace {

constexpr std::int8_t Skip = -1;

constexpr std::array<std::int8_t, 256> decodingTable()
{
    std::array<std::int8_t, 256> table {};
    for (auto& entry : table)
        entry = Skip;
    for (std::size_t i = 0; i < 26; ++i) {
        table['A' + i] = static_cast<std::int8_t>(i);
        table['a' + i] = static_cast<std::int8_t>(26 + i);
    }
    for (std::size_t i = 0; i < 10; ++i)
        table['0' + i] = static_cast<std::int8_t>(52 + i);
    table['+'] = 62;
    table['/'] = 63;
    return table;
}

constexpr std::array<std::int8_t, 256> table = decodingTable();

// The six bits of a character already shifted to its place in a quartet's 24 bits; a character outside the
// alphabet sets the top bit, so one test covers all four.
constexpr std::uint32_t Invalid = 0x80000000u;

constexpr std::array<std::uint32_t, 256> shiftedTable(int shift)
{
    std::array<std::uint32_t, 256> shifted {};
    for (std::size_t c = 0; c < 256; ++c)
        shifted[c] = table[c] == Skip ? Invalid : static_cast<std::uint32_t>(table[c]) << shift;
    return shifted;
}

constexpr std::array<std::uint32_t, 256> first = shiftedTable(18);
constexpr std::array<std::uint32_t, 256> second = shiftedTable(12);
constexpr std::array<std::uint32_t, 256> third = shiftedTable(6);
constexpr std::array<std::uint32_t, 256> fourth = shiftedTable(0);

std::int32_t valueOf(char c)
{
    return table[static_cast<unsigned char>(c)];
}

std::uint32_t quartet(const char* text)
{
    const auto* c = reinterpret_cast<const unsigned char*>(text);
    return first[c[0]] | second[c[1]] | third[c[2]] | fourth[c[3]];
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
        // The common case: whole quartets of alphabet characters on a quartet boundary.
        if (pendingBits == 0) {
            while (read + 8 <= size) {
                const std::uint32_t a = quartet(text + read);
                const std::uint32_t b = quartet(text + read + 4);
                if ((a | b) & Invalid)
                    break;
                out[written] = static_cast<char>(a >> 16);
                out[written + 1] = static_cast<char>(a >> 8);
                out[written + 2] = static_cast<char>(a);
                out[written + 3] = static_cast<char>(b >> 16);
                out[written + 4] = static_cast<char>(b >> 8);
                out[written + 5] = static_cast<char>(b);
                written += 6;
                read += 8;
            }
            if (read >= size)
                break;
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

std::size_t decodedSize(const char* text, std::size_t size)
{
    // Six bits for every character of the alphabet; bits left over at the end make no byte.
    std::size_t characters = 0;
    for (std::size_t i = 0; i < size; ++i)
        characters += valueOf(text[i]) != Skip ? 1 : 0;
    return characters / 4 * 3 + characters % 4 * 6 / 8;
}

} // namespace Reveriz::Internal::Base64
