#include "libs/ezip/file_io.h"
#include "libs/ezip/run_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace ezip::files {

namespace {

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); } // NOLINT(cppcoreguidelines-no-malloc)
};

int removeEntry(const char* path, const struct stat* /*info*/, int type, FTW* /*walk*/) {
    const int result = type == FTW_DP ? rmdir(path) : unlink(path);
    return result == 0 || errno == ENOENT ? 0 : -1;
}

} // namespace

Kind kindOf(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? Kind::Missing : Kind::Unknown;
    }
    if (S_ISREG(info.st_mode)) {
        return Kind::File;
    }
    return S_ISDIR(info.st_mode) ? Kind::Folder : Kind::Other;
}

std::optional<unsigned> permissionsOf(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<unsigned>(info.st_mode) & 0777U;
}

bool setPermissions(const std::string& path, unsigned permissions) {
    return chmod(path.c_str(), permissions) == 0;
}

std::optional<std::string> realFolder(const std::string& path) {
    const std::unique_ptr<char, FreeDeleter> real(realpath(path.c_str(), nullptr));
    if (!real) {
        return std::nullopt;
    }
    std::string folder(real.get());
    if (kindOf(folder) != Kind::Folder) {
        return std::nullopt;
    }
    return folder;
}

std::optional<std::string> absoluteFolder(const std::string& path) {
    if (path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    std::string folder(path);
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

bool rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool link(const std::string& from, const std::string& to) {
    return ::link(from.c_str(), to.c_str()) == 0;
}

bool remove(const std::string& path) {
    return unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool makeFolder(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0;
}

bool removeFolder(const std::string& path) {
    return rmdir(path.c_str()) == 0 || errno == ENOENT;
}

bool removeStagingFolder(const std::string& path) {
    // The staging folder holds only what the library put there: no links to
    // follow, and two levels at most.
    constexpr int openFolders = 4;
    return nftw(path.c_str(), removeEntry, openFolders, FTW_DEPTH | FTW_PHYS) == 0 ||
           errno == ENOENT;
}

bool syncFileSystemOf(const std::string& path) {
    const io::Handle folder = io::openFolder(path, /*followLink=*/true);
    if (!folder.isOpen()) {
        return false;
    }
    const int fd = static_cast<int>(folder.native());
#ifdef __linux__
    // One call for every file staged on that file system: far cheaper than
    // one flush a file, and their writeback was started as each was written.
    return syncfs(fd) == 0;
#else
    sync();
    return fsync(fd) == 0;
#endif
}

bool syncParentOf(const std::string& path) {
    const io::Handle folder = io::openFolder(parentOf(path), /*followLink=*/true);
    return folder.isOpen() && fsync(static_cast<int>(folder.native())) == 0;
}

std::optional<std::uint64_t> deviceOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_dev);
}

} // namespace ezip::files
