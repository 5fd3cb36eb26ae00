#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace ezip_test {

// Every file, folder and link below `root` (by their UTF-8 names), with file
// contents, link targets and permission bits, so that two trees compare equal
// only when they are.
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

std::string shellQuoted(const std::filesystem::path& path);

// One file a platform from here on.

// `path` as the library's callers pass it: 8-bit text in the system's
// encoding (the ANSI code page on Windows). Throws when the encoding cannot
// hold it, so that a test never hands the library a mangled path unawares.
std::string callerPath(const std::filesystem::path& path);

// Whether files carry Unix permission bits that the library sets.
bool hasUnixModes();

// Runs a shell command line; its exit status. POSIX only.
int run(const std::string& command);

} // namespace ezip_test
