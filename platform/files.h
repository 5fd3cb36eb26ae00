#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qlx {

// Files and folders by path, for the update methods, the settings store and
// the extraction library alike. Paths are UTF-8 text (bytes as they are on
// POSIX), absolute or relative to the current folder. Windows is reached
// through full "\\?\" UTF-16 paths, which MAX_PATH does not limit and which the
// system takes as they are written.

// --- Path syntax, by the text alone.

// The separator paths are built with: "\" on Windows, "/" elsewhere.
[[nodiscard]] char pathSeparator();
// True for a character that separates folders: "/", and on Windows "\" too.
[[nodiscard]] bool isPathSeparator(char c);
// How many leading characters of `path` are its root ("/"; "C:\" or
// "\\server\share\" on Windows); 0 for a relative path.
[[nodiscard]] std::size_t rootLength(const std::string& path);
// `folder` + the platform's separator + `name`, by plain concatenation.
[[nodiscard]] std::string joinPath(const std::string& folder, const std::string& name);
// The folder that holds `path`, by its text; empty when it names none.
[[nodiscard]] std::string parentOf(const std::string& path);
// `path` without trailing separators when it is absolute (on Windows, with a
// drive or a server); nullopt when it is relative.
[[nodiscard]] std::optional<std::string> absoluteFolder(const std::string& path);

// --- The current folder.

// The process's current folder as the platform writes it, without a trailing
// separator unless it is a root; empty when it cannot be read.
[[nodiscard]] std::string currentFolder();
// Makes `path` the current folder; false when it cannot be entered. An empty
// path never can.
bool setCurrentFolder(const std::string& path);

// --- What is at a path.

// Other: a link (or any reparse point), a device, a FIFO or a socket.
enum class FileKind { Missing, File, Folder, Other, Unknown };
// What `path` itself is; a link at its end is not followed.
[[nodiscard]] FileKind kindOf(const std::string& path);

// Whether anything, a folder or a file is at `path`, a link followed on POSIX.
[[nodiscard]] bool pathExists(const std::string& path);
[[nodiscard]] bool isFolder(const std::string& path);
[[nodiscard]] bool isFile(const std::string& path);

// An existing folder's full path, with every link in it resolved; nullopt
// when `path` is not a folder.
[[nodiscard]] std::optional<std::string> realFolder(const std::string& path);
// The identity of the file system a folder lives on.
[[nodiscard]] std::optional<std::uint64_t> deviceOf(const std::string& path);

// The permission bits of a regular file; nullopt on Windows, where a file
// has none that an archive could lack.
[[nodiscard]] std::optional<unsigned> permissionsOf(const std::string& path);
[[nodiscard]] bool setPermissions(const std::string& path, unsigned permissions);
// True when a file exists at `path` and is marked read-only: its owner's write
// permission is off (POSIX) or its read-only attribute is set (Windows).
[[nodiscard]] bool isMarkedReadOnly(const std::string& path);

// The names under which the file at `path` is known: the path made absolute
// and cleaned of ".", ".." and repeated separators, and, when the file exists
// and the name differs, the path with every link resolved. Two spellings of one
// existing file share a name.
[[nodiscard]] std::vector<std::string> fileIdentities(const std::string& path);

// --- Making, moving and removing.

// Makes the folder `path`, and says why when it was not made: something is
// there already, or the folder that would hold it is missing.
enum class FolderMade { Made, Exists, NoParent, Failed };
[[nodiscard]] FolderMade tryMakeFolder(const std::string& path);
// Makes the folder `path` in a folder that exists; false when it was not made
// (an existing one included).
bool makeFolder(const std::string& path);
// Makes `path` with every missing folder above it; true when `path` is a
// folder afterwards.
bool makeFolders(const std::string& path);
// Removes the file `path`, a read-only one too; true when it is gone, also
// when it never was. A folder is never removed.
bool removeFile(const std::string& path);
// Removes the folder `path` while it is empty, and only then; true when it is
// gone, also when it never was.
bool removeEmptyFolder(const std::string& path);
// Removes a folder of our own with everything in it; a link in it is removed,
// never followed. True when it is gone.
bool removeFolderTree(const std::string& path);

// Replaces `to` with `from` in one step; with the move on disk when it
// returns on Windows. A read-only `to` is replaced too, as on POSIX.
[[nodiscard]] bool renameOver(const std::string& from, const std::string& to);
// The same, and when it fails, whether another program is using one of the
// files (Windows: open without sharing their deletion, or a running program's
// image), so that the move may succeed once it lets go, or whether the disk
// is full (a folder's index that must grow for the new name).
enum class Replaced { Done, Busy, NoSpace, Failed };
[[nodiscard]] Replaced replaceFile(const std::string& from, const std::string& to);
// Keeps the file `from` also under `to`: a hard link where the file system
// has them, false where it has none (the caller then moves the file).
[[nodiscard]] bool hardLink(const std::string& from, const std::string& to);
// Whether another program holds the file so that it can be neither renamed
// nor deleted now (Windows: open without sharing its deletion). Never on
// POSIX, where an open file does not pin its name.
[[nodiscard]] bool heldOpen(const std::string& path);
// After removeFolderTree left the folder `path`: whether only files that
// another program uses kept it (a running program's image, a file open
// without sharing its deletion), which go once it lets go. Never on POSIX.
[[nodiscard]] bool onlyHeldFilesIn(const std::string& path);

// --- Reading a file whole.

enum class FileReadState {
    Missing,  // nothing at all is at the path
    Unusable, // something is there, but no regular file that could be read
    Read,
};

struct FileContents {
    FileReadState state = FileReadState::Missing;
    std::string bytes;
};

// The whole file at `path`. A link to nothing is something at the path, so it
// is unusable rather than missing; so are folders and files we may not read.
[[nodiscard]] FileContents readFileContents(const std::string& path);

// --- Getting what was written onto the disk.

enum class FolderFlush {
    Done,
    Unsupported, // the file system cannot flush a folder's entries on its own
    Failed,
};
// Writes the entries of `folder` (the names in it, not the files they name)
// to disk. A file system that keeps no separate folder entries to flush (FAT
// on Windows) counts as done: they are as safe there as the system makes them.
[[nodiscard]] FolderFlush flushFolder(const std::string& folder);
// Writes the entries of the folder holding `path` to disk.
[[nodiscard]] bool syncParentOf(const std::string& path);
// Writes everything that was written below `path` (a folder) to disk, and
// the folder's own entries. On Windows the files there were flushed as they
// were staged (flushStaged), and this flushes the folders' entries.
[[nodiscard]] bool syncFileSystemOf(const std::string& path);

// Why the last call of this thread into the system failed, in the system's
// words (errno's, or GetLastError's with its number).
[[nodiscard]] std::string lastSystemErrorText();

} // namespace qlx
