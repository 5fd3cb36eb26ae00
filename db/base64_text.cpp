#include "db/base64_text.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace qlx {

namespace {

constexpr std::uint8_t kSkip = 0xFE;
constexpr std::uint8_t kBad = 0xFF;

constexpr std::array<std::uint8_t, 256> makeTable() {
    std::array<std::uint8_t, 256> table{};
    table.fill(kBad);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::uint8_t i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = i;
    }
    table['\n'] = kSkip;
    table['\r'] = kSkip;
    return table;
}

constexpr std::array<std::uint8_t, 256> kTable = makeTable();

// kTable's sextets already moved to their place in a group of four, one table
// per position, so that a group is four loads and three ORs. A character that
// is not a plain sextet sets the top bit, which no sextet reaches.
constexpr std::uint32_t kNotSextet = 0x80000000U;

constexpr std::array<std::uint32_t, 256> makeShifted(int shift) {
    std::array<std::uint32_t, 256> shifted{};
    for (std::size_t c = 0; c < shifted.size(); ++c) {
        shifted[c] = kTable[c] < 64 ? std::uint32_t{kTable[c]} << shift : kNotSextet;
    }
    return shifted;
}

constexpr std::array<std::array<std::uint32_t, 256>, 4> kShifted = {
    makeShifted(18), makeShifted(12), makeShifted(6), makeShifted(0)};

std::uint32_t groupAt(const unsigned char* text) {
    return kShifted[0][text[0]] | kShifted[1][text[1]] | kShifted[2][text[2]] |
           kShifted[3][text[3]];
}

// The server's lines: 76 characters, 19 groups, then a break.
constexpr std::size_t kLineGroups = 19;

// Whole lines of plain groups, each group stored as four bytes of which the
// next group overwrites the last, hence the byte of room to spare. A line
// that holds anything else is left to the group loop, from its start.
void decodeLines(const unsigned char* text, std::size_t size, std::size_t& i, char* out,
                 std::size_t capacity, std::size_t& written) {
    while (i + 4 * kLineGroups < size && written + 3 * kLineGroups + 1 <= capacity &&
           text[i + 4 * kLineGroups] == '\n') {
        std::uint32_t any = 0;
        for (std::size_t g = 0; g < kLineGroups; ++g) {
            const std::uint32_t group = groupAt(text + i + 4 * g);
            any |= group;
            std::uint32_t bytes = group << 8;
            if constexpr (std::endian::native == std::endian::little) {
                bytes = __builtin_bswap32(bytes);
            }
            std::memcpy(out + written + 3 * g, &bytes, sizeof bytes);
        }
        if ((any & kNotSextet) != 0) {
            return;
        }
        i += 4 * kLineGroups + 1;
        written += 3 * kLineGroups;
    }
}

// Whole groups of four plain characters, as most of the text is: three bytes
// each, without a branch per character, stepping over line breaks. Stops at
// the first group that holds padding or anything else, which the careful
// loop then takes.
void decodeGroups(const unsigned char* text, std::size_t size, std::size_t& i, char* out,
                  std::size_t capacity, std::size_t& written) {
    decodeLines(text, size, i, out, capacity, written);
    while (i + 4 <= size && written + 3 <= capacity) {
        if (text[i] == '\n') {
            ++i;
            continue;
        }
        const std::uint32_t group = groupAt(text + i);
        if ((group & kNotSextet) != 0) {
            return;
        }
        out[written] = static_cast<char>(group >> 16);
        out[written + 1] = static_cast<char>(group >> 8);
        out[written + 2] = static_cast<char>(group);
        written += 3;
        i += 4;
    }
}

} // namespace

std::optional<std::size_t> decodeBase64(const char* text, std::size_t size, char* out,
                                        std::size_t capacity) {
    const auto* chars = reinterpret_cast<const unsigned char*>(text);
    std::uint32_t group = 0;
    int sextets = 0;
    int padding = 0;
    std::size_t written = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (sextets == 0 && padding == 0) {
            decodeGroups(chars, size, i, out, capacity, written);
            if (i == size) {
                break;
            }
        }
        const unsigned char c = chars[i];
        if (c == '=') {
            ++padding;
            group <<= 6;
            ++sextets;
        } else {
            const std::uint8_t value = kTable[c];
            if (value == kSkip) {
                continue;
            }
            // Nothing but padding may follow padding.
            if (value == kBad || padding > 0) {
                return std::nullopt;
            }
            group = (group << 6) | value;
            ++sextets;
        }
        if (sextets == 4) {
            const auto bytes = static_cast<std::size_t>(3 - padding);
            if (padding > 2 || written + bytes > capacity) {
                return std::nullopt;
            }
            const char decoded[3] = {static_cast<char>(group >> 16), static_cast<char>(group >> 8),
                                     static_cast<char>(group)};
            for (std::size_t b = 0; b < bytes; ++b) {
                out[written++] = decoded[b];
            }
            group = 0;
            sextets = 0;
        }
    }
    if (sextets != 0) {
        return std::nullopt;
    }
    return written;
}

} // namespace qlx
