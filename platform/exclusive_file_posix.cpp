#include "platform/exclusive_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qlx {

ExclusiveFile::~ExclusiveFile() {
    close();
}

namespace {

// `path` opened for reading and writing and locked against every other
// writer that honours locks; -1 when it cannot be.
int openLocked(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | flags, 0666);
    if (fd < 0) {
        return -1;
    }
    // A lock of the open file description, not of the process: it cannot be
    // lost when some other descriptor of the same file is closed, and it ends
    // with this descriptor.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0; // to the end, however far the file grows
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

bool ExclusiveFile::open(const std::string& path) {
    close();
    // Not O_TRUNC: a file that another program holds locked must keep its bytes.
    const int fd = openLocked(path, O_CREAT);
    if (fd < 0) {
        return false;
    }
    if (::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

bool ExclusiveFile::openExisting(const std::string& path) {
    close();
    const int fd = openLocked(path, 0);
    if (fd < 0) {
        return false;
    }
    handle_ = fd;
    return true;
}

bool ExclusiveFile::write(const char* data, std::size_t size) {
    if (!isOpen()) {
        return false;
    }
    const int fd = static_cast<int>(handle_);
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

void ExclusiveFile::startWriteBack() {
#ifdef __linux__
    if (isOpen()) {
        ::sync_file_range(static_cast<int>(handle_), 0, 0, SYNC_FILE_RANGE_WRITE);
    }
#endif
}

std::int64_t ExclusiveFile::readAt(std::uint64_t offset, char* data, std::size_t size) {
    if (!isOpen()) {
        return -1;
    }
    const int fd = static_cast<int>(handle_);
    for (;;) {
        const ssize_t got = ::pread(fd, data, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got;
    }
}

std::optional<std::uint64_t> ExclusiveFile::size() const {
    struct stat info {};
    if (!isOpen() || ::fstat(static_cast<int>(handle_), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

bool ExclusiveFile::close() {
    if (!isOpen()) {
        return true;
    }
    const int fd = static_cast<int>(handle_);
    handle_ = kClosed;
    // Not retried on EINTR: on Linux the descriptor is gone either way.
    return ::close(fd) == 0;
}

} // namespace qlx
