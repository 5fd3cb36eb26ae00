#pragma once

#include <string>
#include <vector>

namespace qlx::test {

// A fresh folder under the system's temporary folder, removed with all it holds.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] bool isValid() const { return !path_.empty(); }
    [[nodiscard]] const std::string& path() const { return path_; }
    // `name` below the folder, joined with "/".
    [[nodiscard]] std::string filePath(const std::string& name) const;

private:
    std::string path_;
};

// The whole content of a file, or "<missing>" when it cannot be read.
std::string readFile(const std::string& path);
// Writes `content` to `path`, creating its missing folders; false on failure.
bool writeFile(const std::string& path, const std::string& content);
[[nodiscard]] bool fileExists(const std::string& path);
[[nodiscard]] bool folderExists(const std::string& path);
// The names in `folder`, hidden ones too, sorted; none when it cannot be read.
[[nodiscard]] std::vector<std::string> namesIn(const std::string& folder);

// `text` as one word of the shell.
[[nodiscard]] std::string shellQuoted(const std::string& text);

} // namespace qlx::test
