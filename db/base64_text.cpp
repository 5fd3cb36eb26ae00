#include "db/base64_text.h"

#include <array>
#include <cstdint>

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

// Whole groups of four plain characters, as most of the text is: three bytes
// each, without a branch per character. Stops at the first group that holds
// a line break, padding or anything else, which the careful loop then takes.
void decodeGroups(const unsigned char* text, std::size_t size, std::size_t& i, char* out,
                  std::size_t capacity, std::size_t& written) {
    while (i + 4 <= size && written + 3 <= capacity) {
        const std::uint32_t a = kTable[text[i]];
        const std::uint32_t b = kTable[text[i + 1]];
        const std::uint32_t c = kTable[text[i + 2]];
        const std::uint32_t d = kTable[text[i + 3]];
        if (((a | b | c | d) & 0xC0) != 0) {
            return;
        }
        const std::uint32_t group = (a << 18) | (b << 12) | (c << 6) | d;
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
