#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace ezip_test {

// Every file, folder and link below `root`, with file contents, link targets
// and permission bits, so that two trees compare equal only when they are.
using Tree = std::map<std::string, std::string>;
Tree snapshot(const std::filesystem::path& root);

void writeFile(const std::filesystem::path& path, const std::string& data);
std::string readFile(const std::filesystem::path& path);

// A fresh folder under the system's temporary folder, removed at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Runs a shell command line; its exit status.
int run(const std::string& command);
std::string shellQuoted(const std::filesystem::path& path);

} // namespace ezip_test
