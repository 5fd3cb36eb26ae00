#pragma once

#include <cstddef>
#include <string>

namespace qlx {

// Files and folders as the update methods use them. Paths are UTF-8 text,
// absolute or relative to the current folder; each platform hands them to the
// system in its own form (UTF-16 on Windows).

// The separator paths are built with: "\" on Windows, "/" elsewhere.
[[nodiscard]] char pathSeparator();
// True for a character that separates folders: "/", and on Windows "\" too.
[[nodiscard]] bool isPathSeparator(char c);
// How many leading characters of `path` are its root ("/"; "C:\" or
// "\\server\share\" on Windows); 0 for a relative path.
[[nodiscard]] std::size_t rootLength(const std::string& path);
// `folder` + the platform's separator + `name`, by plain concatenation.
[[nodiscard]] std::string joinPath(const std::string& folder, const std::string& name);

// The process's current folder as the platform writes it, without a trailing
// separator unless it is a root; empty when it cannot be read.
[[nodiscard]] std::string currentFolder();
// Makes `path` the current folder; false when it cannot be entered. An empty
// path never can.
bool setCurrentFolder(const std::string& path);

[[nodiscard]] bool pathExists(const std::string& path);
[[nodiscard]] bool isFolder(const std::string& path);
[[nodiscard]] bool isFile(const std::string& path);

// Makes the folder `path` in a folder that exists; false when it was not made
// (an existing one included).
bool makeFolder(const std::string& path);
// Makes `path` with every missing folder above it; true when `path` is a
// folder afterwards.
bool makeFolders(const std::string& path);
// Removes the folder `path` while it is empty, and only then.
bool removeEmptyFolder(const std::string& path);
// Removes the file `path`; a folder is never removed.
bool removeFile(const std::string& path);

} // namespace qlx
