#include "libs/ezip/tree.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace ezip_test {

namespace {

std::string utf8(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return {text.begin(), text.end()};
}

} // namespace

Tree snapshot(const fs::path& root) {
    Tree tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const auto relative = utf8(fs::relative(it->path(), root));
        const auto status = it->symlink_status();
        const auto permissions = std::to_string(static_cast<int>(status.permissions()) & 0777);
        if (fs::is_symlink(status)) {
            tree[relative] = "link:" + utf8(fs::read_symlink(it->path()));
        } else if (fs::is_directory(status)) {
            tree[relative + "/"] = "folder";
        } else {
            tree[relative] = permissions + ":" + readFile(it->path());
        }
    }
    return tree;
}

void writeFile(const fs::path& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + utf8(path));
    }
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

ScratchFolder::ScratchFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("ezip-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
        }
    }
    if (path_.empty()) {
        throw std::runtime_error("no scratch folder");
    }
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string shellQuoted(const fs::path& path) {
    std::string out = "'";
    for (const char c : path.string()) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out.push_back(c);
        }
    }
    return out + "'";
}

} // namespace ezip_test
