#pragma once

#include <optional>
#include <string>

namespace qlx {

// Where entering a folder ended: the absolute path of the folder that was
// current then, and whether it was the folder asked for.
struct FolderVisit {
    std::string folder;
    bool entered = false;
};

// Enters `action` (absolute, or relative to the current folder), creating it
// and its missing parents when it cannot be entered, notes the folder that is
// current then, and makes `path` current again. The current folder when
// `action` can be neither entered nor created.
[[nodiscard]] FolderVisit visitFolder(const std::string& path, const std::string& action);

// The folder a package of target `action` goes to, for the installation
// folder `path`: as visitFolder, but nullopt when a non-empty `action` could
// be neither entered nor created; the installation folder is no place for
// such a package. An empty `action` is the installation folder itself.
[[nodiscard]] std::optional<std::string> targetFolder(const std::string& path,
                                                      const std::string& action);

} // namespace qlx
