#include "libs/ezip/tree.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace ezip_test {

Tree snapshot(const fs::path& root) {
    Tree tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const auto relative = fs::relative(it->path(), root).generic_string();
        const auto status = it->symlink_status();
        const auto permissions = std::to_string(static_cast<int>(status.permissions()) & 0777);
        if (fs::is_symlink(status)) {
            tree[relative] = "link:" + fs::read_symlink(it->path()).string();
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
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

ScratchFolder::ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "ezip-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp");
    }
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
