#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace qlx {

// Writing a file whole, in the ways its callers need it to survive a failure:
// the settings save, the publisher's keys and the extraction library's
// journal. Paths are UTF-8 (bytes on POSIX).

// Gives the file at `path` the contents `bytes` so that afterwards it holds
// either all of its old bytes or all of the new ones, whatever fails midway: a
// full disk, a killed process, a power loss. The new bytes go to a temporary
// file beside it ("." + name + ".qlx-save-" + six random characters), which
// replaces it only once every byte is on disk. A link is followed and its
// target replaced, so the link stays. On POSIX an existing file keeps its
// permissions and, where the process may give them, its owner and group; on
// Windows it keeps its hidden, system and archive attributes and the new file
// takes the access rights its folder hands down. A missing file is created,
// its folder is not. False, with the old file untouched and no temporary file
// left, when anything before the replacement fails; false too when the folder
// could not be synced afterwards, when the new contents are in place but might
// not survive a power loss.
[[nodiscard]] bool replaceFileContents(const std::string& path, std::string_view bytes);

// Removes the temporary files that saves of `path` interrupted before their
// replacement left beside it. Other files are never touched.
void removeInterruptedSaves(const std::string& path);

// Creates the file `path` holding `content`, on disk when it returns, and
// never replaces one that exists: the check and the creation are one step of
// the system's. With `ownerOnly`, nobody but the user who runs the program may
// read or write it (mode 600; on Windows an access list naming that user
// alone). False with `error` set when the file exists or could not be made
// whole; a part written is removed again.
bool createNewFile(const std::string& path, const std::string& content, bool ownerOnly,
                   std::string& error);

// Creates the file `path`, given in the system's 8-bit encoding as the FTP
// library's callers give it, for writing with stdio in binary: the open fails
// rather than reuse a file (or follow a link) already there. nullptr with
// errno set when it exists or cannot be made.
[[nodiscard]] std::FILE* openNewStdioFile(const std::string& path);

// The journal's files, which only the user may read. With `durably`, what was
// written is on disk when the call returns, the folder's entry of a new file
// included.

// The whole file; nullopt when it cannot be read.
[[nodiscard]] std::optional<std::string> readWholeFile(const std::string& path);
// Fails when `path` exists; a part written is removed again.
[[nodiscard]] bool createWholeFile(const std::string& path, const std::string& bytes, bool durably);
// Adds `bytes` at the end of the existing file.
[[nodiscard]] bool appendToFile(const std::string& path, const std::string& bytes, bool durably);
// Through a complete copy beside it (`path` + ".new"), renamed over `path`.
[[nodiscard]] bool replaceThroughCopy(const std::string& path, const std::string& bytes,
                                      bool durably);

} // namespace qlx
