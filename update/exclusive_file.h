#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qlx {

// A file opened for writing that no other program writes until it is closed:
// on Windows no other handle may be open on it at the same time; elsewhere it
// holds a write lock that every program honouring locks respects.
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
    // Writes all `size` bytes at the end of what was written; false when not
    // all of them could be written.
    bool write(const char* data, std::size_t size);
    // Closes the file; false when the system reported an error on closing.
    bool close();

    [[nodiscard]] bool isOpen() const { return handle_ != kClosed; }

private:
    // The descriptor, or the HANDLE on Windows.
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed;
};

} // namespace qlx
