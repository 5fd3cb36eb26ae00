#include "libs/ezip/file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace ezip::io {

namespace {

int fdOf(const Handle& handle) {
    return static_cast<int>(handle.native());
}

} // namespace

bool Handle::close() {
    if (native_ == invalid) {
        return true;
    }
    const int fd = static_cast<int>(native_);
    native_ = invalid;
    return ::close(fd) == 0;
}

Handle openForReading(const std::string& path, bool sequential) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && sequential) {
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    return fd < 0 ? Handle() : Handle(fd, {});
}

std::optional<std::uint64_t> fileSize(const Handle& file) {
    struct stat info {};
    if (fstat(fdOf(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

std::int64_t readAt(const Handle& file, std::uint64_t offset, void* buffer, std::size_t length) {
    while (true) {
        const ssize_t got = pread(fdOf(file), buffer, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got;
    }
}

Handle openForWriting(const std::string& path, Creation creation) {
    const int fd =
        open(path.c_str(),
             O_WRONLY | O_CREAT | O_CLOEXEC | (creation == Creation::New ? O_EXCL : O_TRUNC), 0600);
    return fd < 0 ? Handle() : Handle(fd, {});
}

Handle openForAppending(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    return fd < 0 ? Handle() : Handle(fd, {});
}

Handle openFolder(const std::string& path, bool followLink) {
    const int fd =
        open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    return fd < 0 ? Handle() : Handle(fd, path);
}

files::Kind kindAt(const Handle& folder, const std::string& relative) {
    struct stat info {};
    if (fstatat(fdOf(folder), relative.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? files::Kind::Missing : files::Kind::Unknown;
    }
    if (S_ISREG(info.st_mode)) {
        return files::Kind::File;
    }
    return S_ISDIR(info.st_mode) ? files::Kind::Folder : files::Kind::Other;
}

bool makeFolderAt(const Handle& folder, const std::string& relative) {
    return mkdirat(fdOf(folder), relative.c_str(), 0700) == 0;
}

Handle createFileAt(const Handle& folder, const std::string& relative, bool executable) {
    const int fd = openat(fdOf(folder), relative.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          executable ? 0777 : 0666);
    return fd < 0 ? Handle() : Handle(fd, {});
}

std::optional<FreeSpace> freeSpaceOf(const Handle& folder) {
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

bool writeAll(const Handle& file, const unsigned char* data, std::size_t length) {
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

void setModifiedTime(const Handle& file, std::int64_t seconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
    futimens(fdOf(file), times);
}

bool flush(const Handle& file) {
    return fdatasync(fdOf(file)) == 0;
}

bool flushStaged(const Handle& file) {
#ifdef __linux__
    sync_file_range(fdOf(file), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)file;
#endif
    return true;
}

} // namespace ezip::io
