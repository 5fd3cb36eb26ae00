#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace qlx::save_names {

// A save writes to "." + the file's name + ".qlx-save-" + six random letters or
// digits beside the file; the clean-up after killed saves removes exactly such
// names. Both platforms' saves share these rules.
inline constexpr std::string_view kMarker = ".qlx-save-";
inline constexpr std::size_t kRandomLength = 6;
inline constexpr std::string_view kRandomCharacters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

using Noise = std::array<unsigned char, kRandomLength>;

[[nodiscard]] inline std::string temporaryPrefix(std::string_view name) {
    std::string prefix = ".";
    prefix.append(name).append(kMarker);
    return prefix;
}

[[nodiscard]] inline std::string randomSuffix(const Noise& noise) {
    std::string suffix;
    for (const unsigned char n : noise) {
        suffix += kRandomCharacters[n % kRandomCharacters.size()];
    }
    return suffix;
}

[[nodiscard]] inline bool isTemporaryName(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + kRandomLength || name.substr(0, prefix.size()) != prefix) {
        return false;
    }
    for (const char c : name.substr(prefix.size())) {
        if (kRandomCharacters.find(c) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

} // namespace qlx::save_names
