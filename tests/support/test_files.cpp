#include "support/test_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>
#include <utility>

namespace qlx::test {

namespace fs = std::filesystem;

namespace {
// Paths are UTF-8 text; a char8_t string makes the library read them so everywhere.
fs::path toPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
} // namespace

TempDir::TempDir() {
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    if (error) {
        return;
    }
    // A name that no other test process picks: the pid and a per-process count.
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = base / ("qlx-test-" + std::to_string(std::random_device{}()) +
                                           "-" + std::to_string(++counter));
        if (fs::create_directory(candidate, error)) {
            path_ = candidate.generic_string();
            return;
        }
    }
}

TempDir::~TempDir() {
    if (!path_.empty()) {
        std::error_code error;
        // Tests make folders read-only on purpose; they must still go.
        for (const auto& entry : fs::recursive_directory_iterator(
                 path_, fs::directory_options::skip_permission_denied, error)) {
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
        }
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(path_, error);
    }
}

std::string TempDir::filePath(const std::string& name) const {
    return path_ + "/" + name;
}

std::string readFile(const std::string& path) {
    std::ifstream in(toPath(path), std::ios::binary);
    if (!in) {
        return "<missing>";
    }
    std::ostringstream content;
    content << in.rdbuf();
    return std::move(content).str();
}

bool writeFile(const std::string& path, const std::string& content) {
    const fs::path target = toPath(path);
    std::error_code error;
    if (target.has_parent_path()) {
        fs::create_directories(target.parent_path(), error);
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return static_cast<bool>(out.flush());
}

bool fileExists(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(toPath(path), error);
}

bool folderExists(const std::string& path) {
    std::error_code error;
    return fs::is_directory(toPath(path), error);
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(toPath(folder), error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

} // namespace qlx::test
