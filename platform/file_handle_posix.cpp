#include "platform/file_handle.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace qlx {

namespace {

int fdOf(const FileHandle& handle) {
    return static_cast<int>(handle.native());
}

} // namespace

bool FileHandle::close() {
    if (native_ == invalid) {
        return true;
    }
    const int fd = static_cast<int>(native_);
    native_ = invalid;
    return ::close(fd) == 0;
}

FileHandle openForReading(const std::string& path, bool sequential) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && sequential) {
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    return fd < 0 ? FileHandle() : FileHandle(fd, {});
}

std::optional<std::uint64_t> fileSize(const FileHandle& file) {
    struct stat info {};
    if (fstat(fdOf(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

std::int64_t readAt(const FileHandle& file, std::uint64_t offset, void* buffer,
                    std::size_t length) {
    while (true) {
        const ssize_t got = pread(fdOf(file), buffer, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got;
    }
}

FileHandle openForWriting(const std::string& path, Creation creation, unsigned permissions) {
    // With O_EXCL a link at the path is refused already; O_NOFOLLOW says so.
    const int creationFlags = creation == Creation::New ? O_EXCL | O_NOFOLLOW : O_TRUNC;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | creationFlags,
                        static_cast<mode_t>(permissions));
    return fd < 0 ? FileHandle() : FileHandle(fd, {});
}

FileHandle openForAppending(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    return fd < 0 ? FileHandle() : FileHandle(fd, {});
}

FileHandle openFolder(const std::string& path, bool followLink) {
    const int fd =
        open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    return fd < 0 ? FileHandle() : FileHandle(fd, path);
}

FileKind kindAt(const FileHandle& folder, const std::string& relative) {
    struct stat info {};
    if (fstatat(fdOf(folder), relative.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? FileKind::Missing : FileKind::Unknown;
    }
    if (S_ISREG(info.st_mode)) {
        return FileKind::File;
    }
    return S_ISDIR(info.st_mode) ? FileKind::Folder : FileKind::Other;
}

bool makeFolderAt(const FileHandle& folder, const std::string& relative) {
    return mkdirat(fdOf(folder), relative.c_str(), 0700) == 0;
}

FileHandle createFileAt(const FileHandle& folder, const std::string& relative, bool executable) {
    const int fd = openat(fdOf(folder), relative.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          executable ? 0777 : 0666);
    return fd < 0 ? FileHandle() : FileHandle(fd, {});
}

std::optional<FreeSpace> freeSpaceOf(const FileHandle& folder) {
    struct statvfs space {};
    if (fstatvfs(fdOf(folder), &space) != 0) {
        return std::nullopt;
    }
    FreeSpace free;
    free.bytes = static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
    if (space.f_files != 0) {
        free.entries = static_cast<std::uint64_t>(space.f_favail);
    }
    return free;
}

bool writeAll(const FileHandle& file, const unsigned char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t put = write(fdOf(file), data, length);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        data += put;
        length -= static_cast<std::size_t>(put);
    }
    return true;
}

void setModifiedTime(const FileHandle& file, std::int64_t seconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
    futimens(fdOf(file), times);
}

bool flush(const FileHandle& file, Flush what) {
    int result = 0;
    do {
        result = what == Flush::All ? fsync(fdOf(file)) : fdatasync(fdOf(file));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool flushStaged(const FileHandle& file) {
#ifdef __linux__
    sync_file_range(fdOf(file), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)file;
#endif
    return true;
}

} // namespace qlx
