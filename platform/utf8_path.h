#pragma once

#include <filesystem>
#include <string>

namespace qlx {

// Paths are UTF-8; a char8_t string makes the library read them so everywhere.
inline std::filesystem::path toPath(const std::string& utf8) {
    return {std::u8string(utf8.begin(), utf8.end())};
}

inline std::string toUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

} // namespace qlx
