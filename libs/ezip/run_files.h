#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The file operations a run needs, by full path. One file a platform.
//
// Paths are the platform's: bytes on POSIX, UTF-8 on Windows, where "/" and
// a backslash both separate, and the system is reached through UTF-16 paths that are
// not limited to MAX_PATH.
namespace ezip::files {

// Other: a link (or any reparse point), a device, a FIFO or a socket.
enum class Kind { Missing, File, Folder, Other, Unknown };

[[nodiscard]] Kind kindOf(const std::string& path);
// The permission bits of a regular file; nullopt on Windows, where a file
// has none that an archive could lack.
[[nodiscard]] std::optional<unsigned> permissionsOf(const std::string& path);
[[nodiscard]] bool setPermissions(const std::string& path, unsigned permissions);

// An existing folder's full path, with every link in it resolved; nullopt
// when `path` is not a folder.
[[nodiscard]] std::optional<std::string> realFolder(const std::string& path);
// `path` without trailing separators when it is absolute (on Windows, with a
// drive or a server); nullopt when it is relative.
[[nodiscard]] std::optional<std::string> absoluteFolder(const std::string& path);

// Replaces `to` with `from` in one step; with the move on disk when it
// returns on Windows. A read-only `to` is replaced too, as on POSIX.
[[nodiscard]] bool rename(const std::string& from, const std::string& to);
// Keeps the file `from` also under `to`: a hard link where the file system
// has them, false where it has none (the caller then moves the file).
[[nodiscard]] bool link(const std::string& from, const std::string& to);
// Removes a file; true when it is gone, also when it never was.
[[nodiscard]] bool remove(const std::string& path);
// Makes a folder; true when it was made.
[[nodiscard]] bool makeFolder(const std::string& path);
// Removes an empty folder; true when it is gone.
[[nodiscard]] bool removeFolder(const std::string& path);
// Removes a staging folder with everything in it; true when it is gone.
bool removeStagingFolder(const std::string& path);

// Writes everything that was written below `path` (a folder) to disk, and
// the folder's own entries. On Windows the files there were flushed as they
// were staged (io::flushStaged), and this flushes the folders' entries.
[[nodiscard]] bool syncFileSystemOf(const std::string& path);
// Writes the entries of the folder holding `path` to disk.
[[nodiscard]] bool syncParentOf(const std::string& path);

// Whole-file operations for the journal; with `durably`, each write is on
// disk when it returns.
[[nodiscard]] std::optional<std::string> readAll(const std::string& path);
// Fails when `path` exists.
[[nodiscard]] bool create(const std::string& path, const std::string& bytes, bool durably);
// With `durably`, on disk when it returns.
[[nodiscard]] bool append(const std::string& path, const std::string& bytes, bool durably);
// Through a complete copy beside it, renamed over `path`.
[[nodiscard]] bool replace(const std::string& path, const std::string& bytes, bool durably);

// The identity of the file system a folder lives on.
[[nodiscard]] std::optional<std::uint64_t> deviceOf(const std::string& path);

} // namespace ezip::files
