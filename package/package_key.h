#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlx {

// The publisher's public Ed25519 key, which the updater is built with. It is
// written as one line of text, "qlx-ed25519:" and 64 lowercase hex digits;
// the publisher writes that line to package.pub, and the build takes it as it
// is.
struct PackageKey {
    static constexpr std::size_t kSize = 32;
    std::array<unsigned char, kSize> bytes{};
};

// The keys an updater accepts packages of: more than one while the publisher
// moves from one key to the next. Empty: packages are not checked.
using PackageKeys = std::vector<PackageKey>;

inline constexpr std::string_view kPackageKeyPrefix = "qlx-ed25519:";

// `hex` into `out`, two digits a byte: false unless `hex` is exactly that
// many lowercase hex digits. One spelling only, so that text which decodes to
// the same bytes is also the same text.
template <std::size_t N>
constexpr bool decodeLowerHex(std::string_view hex, std::array<unsigned char, N>& out) {
    if (hex.size() != 2 * N) {
        return false;
    }
    const auto value = [](char c) {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    for (std::size_t i = 0; i < N; ++i) {
        const int high = value(hex[2 * i]);
        const int low = value(hex[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        out[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

// The key a line of package.pub holds, or nullopt when it is not such a line.
// constexpr, so that a key built into the program is checked by the compiler.
constexpr std::optional<PackageKey> parsePackageKey(std::string_view line) {
    PackageKey key;
    if (!line.starts_with(kPackageKeyPrefix) ||
        !decodeLowerHex(line.substr(kPackageKeyPrefix.size()), key.bytes)) {
        return std::nullopt;
    }
    return key;
}

// The line of package.pub for `key`.
inline std::string packageKeyLine(const PackageKey& key) {
    constexpr char digits[] = "0123456789abcdef";
    std::string line(kPackageKeyPrefix);
    for (const unsigned char byte : key.bytes) {
        line += digits[byte >> 4U];
        line += digits[byte & 0xFU];
    }
    return line;
}

} // namespace qlx
