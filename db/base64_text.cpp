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

} // namespace

std::optional<std::size_t> decodeBase64(const char* text, std::size_t size, char* out,
                                        std::size_t capacity) {
    std::uint32_t group = 0;
    int sextets = 0;
    int padding = 0;
    std::size_t written = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
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
