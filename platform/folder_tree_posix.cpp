#include "platform/file_handle.h"
#include "platform/files.h"

#include <cerrno>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

// Whole folders: removing one of our own, and getting what is below one onto
// the disk.
namespace qlx {

namespace {

int removeEntry(const char* path, const struct stat* /*info*/, int type, FTW* /*walk*/) {
    const int result = type == FTW_DP ? ::rmdir(path) : ::unlink(path);
    return result == 0 || errno == ENOENT ? 0 : -1;
}

int syncRetrying(int fd) {
    int result = 0;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

bool removeFolderTree(const std::string& path) {
    // The folders removed are the program's own: no links to follow, and two
    // levels at most.
    constexpr int openFolders = 4;
    return ::nftw(path.c_str(), removeEntry, openFolders, FTW_DEPTH | FTW_PHYS) == 0 ||
           errno == ENOENT;
}

// A file system that cannot sync a folder says EINVAL.
FolderFlush flushFolder(const std::string& folder) {
    const FileHandle handle = openFolder(folder, /*followLink=*/true);
    if (!handle.isOpen()) {
        return FolderFlush::Failed;
    }
    if (syncRetrying(static_cast<int>(handle.native())) == 0) {
        return FolderFlush::Done;
    }
    return errno == EINVAL ? FolderFlush::Unsupported : FolderFlush::Failed;
}

bool syncFileSystemOf(const std::string& path) {
    const FileHandle folder = openFolder(path, /*followLink=*/true);
    if (!folder.isOpen()) {
        return false;
    }
    const int fd = static_cast<int>(folder.native());
#ifdef __linux__
    // One call for every file staged on that file system: far cheaper than
    // one flush a file, and their writeback was started as each was written.
    return ::syncfs(fd) == 0;
#else
    ::sync();
    return ::fsync(fd) == 0;
#endif
}

} // namespace qlx
