#pragma once

#include "platform/files.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

// Open files and folders: the archive read, the files staged below a
// destination, the journal and the files written whole. On POSIX a folder is a descriptor and the
// paths below it are opened relative to it, which saves resolving the whole path for every file and
// keeps a renamed or replaced folder from redirecting what is written. On
// Windows a folder is held open (so that it cannot be renamed or removed
// meanwhile) and the paths below it are joined to its full path.
namespace qlx {

// An open file or folder; closed when it goes.
class FileHandle {
public:
    FileHandle() = default;
    FileHandle(std::intptr_t native, std::string path) : native_(native), path_(std::move(path)) {}
    ~FileHandle() { (void)close(); }
    FileHandle(FileHandle&& other) noexcept
        : native_(std::exchange(other.native_, invalid)), path_(std::move(other.path_)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            (void)close();
            native_ = std::exchange(other.native_, invalid);
            path_ = std::move(other.path_);
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    [[nodiscard]] bool isOpen() const { return native_ != invalid; }
    // The descriptor or HANDLE.
    [[nodiscard]] std::intptr_t native() const { return native_; }
    // The path a folder was opened by; empty for a file.
    [[nodiscard]] const std::string& path() const { return path_; }
    // False when closing reported an error (a write that did not make it).
    [[nodiscard]] bool close();

    static constexpr std::intptr_t invalid = -1;

private:
    std::intptr_t native_ = invalid;
    std::string path_;
};

// A file (the archive, a journal) for reading at offsets; `sequential` when
// it is read from start to end, which lets the system read ahead.
[[nodiscard]] FileHandle openForReading(const std::string& path, bool sequential);
// The size of a regular file; nullopt for anything else.
[[nodiscard]] std::optional<std::uint64_t> fileSize(const FileHandle& file);
// Reads up to `length` bytes at `offset`: the count read, 0 at the end of the
// file, -1 on an error.
[[nodiscard]] std::int64_t readAt(const FileHandle& file, std::uint64_t offset, void* buffer,
                                  std::size_t length);

// Reads the file from its start to its end; nullopt on a read error.
[[nodiscard]] std::optional<std::string> readToEnd(const FileHandle& file);
// What an open `file` holds when it is a regular file that reads to its end;
// unusable when it is not (what was opened may have been swapped for
// something else after the caller checked the path), or was not opened.
[[nodiscard]] FileContents readOpenedFile(const FileHandle& file);

// A file for writing from its start: a new one (failing when anything, a link
// included, is at `path`), or an existing one emptied first. A new one gets
// the POSIX `permissions` less the umask (by default, only the user may read
// it); on Windows it takes the access rights its folder hands down.
enum class Creation { New, Truncated };
[[nodiscard]] FileHandle openForWriting(const std::string& path, Creation creation,
                                        unsigned permissions = 0600);
// An existing file, for writing at its end.
[[nodiscard]] FileHandle openForAppending(const std::string& path);

// An existing folder. `followLink` when the path itself may be a link.
[[nodiscard]] FileHandle openFolder(const std::string& path, bool followLink);
// What `relative` ("/"-separated, below `folder`) is, without following a link
// at its end. Unknown on Windows when the name reaches an entry of another
// name (a short 8.3 alias).
[[nodiscard]] FileKind kindAt(const FileHandle& folder, const std::string& relative);
// Makes a folder (on POSIX one only the user can enter); false when it exists.
[[nodiscard]] bool makeFolderAt(const FileHandle& folder, const std::string& relative);
// Creates a file that does not exist yet, for writing; `executable` gives it
// the execute bits on POSIX.
[[nodiscard]] FileHandle createFileAt(const FileHandle& folder, const std::string& relative,
                                      bool executable);

struct FreeSpace {
    std::uint64_t bytes = 0;
    // Files and folders that can still be made; nullopt where the file
    // system sets no such limit.
    std::optional<std::uint64_t> entries;
};
[[nodiscard]] std::optional<FreeSpace> freeSpaceOf(const FileHandle& folder);

// Writes every byte; false on an error.
[[nodiscard]] bool writeAll(const FileHandle& file, const unsigned char* data, std::size_t length);
// Sets the time the file was last written, in seconds since 1970 (UTC).
void setModifiedTime(const FileHandle& file, std::int64_t seconds);
// Writes what was written to the file to disk: its bytes and what reading
// them back needs (its size), or with `Flush::All` its other metadata too
// (owner, permissions, times). Windows writes it all either way.
enum class Flush { Data, All };
[[nodiscard]] bool flush(const FileHandle& file, Flush what = Flush::Data);
// A staged file of a run that must survive a power loss is complete. Linux
// starts writing it back at once, and the commit's flush of the whole file
// system waits for what is left; Windows has no flush of a volume short of
// administrator rights, so the file is flushed here. False when it failed.
[[nodiscard]] bool flushStaged(const FileHandle& file);

} // namespace qlx
