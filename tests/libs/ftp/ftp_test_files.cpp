#include "ftp_test_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace qlx::test {

std::string allByteValues() {
    std::string bytes;
    for (int round = 0; round < 4; ++round) {
        for (int value = 0; value < 256; ++value) {
            bytes.push_back(static_cast<char>(value));
        }
    }
    bytes.append("\r\n\n\r\r\n", 6);
    return bytes;
}

std::string pseudoRandomBytes(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed;
    for (char& byte : bytes) {
        state = state * 1664525U + 1013904223U;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    if (error) {
        // An unreadable folder must not pass for an empty one.
        names.push_back("<cannot list " + folder + ": " + error.message() + ">");
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : " ") + name;
    }
    return text;
}

} // namespace qlx::test
