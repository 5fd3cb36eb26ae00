#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qlx {

// A file opened for writing that no other program writes until it is closed:
// on Windows no other handle may write, rename or delete it meanwhile (others
// may only read it, as the extraction library does); elsewhere it holds a
// write lock that every program honouring locks respects. So what is read
// back from it while it is held is what a reader of the file gets then.
class ExclusiveFile {
public:
    ExclusiveFile() = default;
    // Closes the file if it is still open.
    ~ExclusiveFile();
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

    // Opens `path`, created when missing and emptied otherwise. False when it
    // cannot be opened or another program holds it; the file is then left as
    // it was.
    bool open(const std::string& path);
    // Opens the existing file `path` as it is, to hold it while it is read
    // and unpacked. False when it is missing or cannot be held.
    bool openExisting(const std::string& path);
    // Writes all `size` bytes at the end of what was written; false when not
    // all of them could be written.
    bool write(const char* data, std::size_t size);
    // Starts putting what was written on the disk without waiting for it, so
    // that a later flush of the whole file system finds little left to do.
    void startWriteBack();
    // Reads up to `size` bytes at `offset` without moving where the next
    // write goes: how many were read, 0 at the end, -1 on an error.
    std::int64_t readAt(std::uint64_t offset, char* data, std::size_t size);
    // The file's size; nullopt when it cannot be told.
    [[nodiscard]] std::optional<std::uint64_t> size() const;
    // Closes the file; false when the system reported an error on closing.
    bool close();

    [[nodiscard]] bool isOpen() const { return handle_ != kClosed; }

private:
    // The descriptor, or the HANDLE on Windows.
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed;
};

} // namespace qlx
