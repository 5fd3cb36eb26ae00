#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/save_names.h"
#include "platform/whole_file.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qlx {

namespace {

struct Location {
    std::string folder;
    std::string name;
    [[nodiscard]] std::string path() const { return folder + '/' + name; }
    [[nodiscard]] std::string temporaryPrefix() const { return save_names::temporaryPrefix(name); }
};

// Where a save of `path` writes. A link is followed to the file it names, so
// that the client's link stays and its target gets the new contents; a link
// to nothing has no such file.
std::optional<Location> saveLocation(const std::string& path) {
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            return std::nullopt;
        }
        target = resolved;
        std::free(resolved); // NOLINT(cppcoreguidelines-no-malloc): realpath's own allocation
    }
    const std::size_t slash = target.rfind('/');
    Location at;
    if (slash == std::string::npos) {
        at = {".", target};
    } else {
        at = {slash == 0 ? "/" : target.substr(0, slash), target.substr(slash + 1)};
    }
    if (at.name.empty() || at.name == "." || at.name == "..") {
        return std::nullopt;
    }
    return at;
}

std::string randomSuffix() {
    save_names::Noise noise{};
    if (::getrandom(noise.data(), noise.size(), 0) != static_cast<ssize_t>(noise.size())) {
        // Uniqueness comes from O_EXCL; the noise only makes collisions rare.
        auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        for (unsigned char& n : noise) {
            n = static_cast<unsigned char>(ticks);
            ticks >>= 8;
        }
    }
    return save_names::randomSuffix(noise);
}

// A new file of ours beside the target; closed when none could be created.
FileHandle createTemporary(const Location& at, unsigned permissions, std::string& temporary) {
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        temporary = at.folder + '/' + at.temporaryPrefix() + randomSuffix();
        FileHandle file = openForWriting(temporary, Creation::New, permissions);
        if (file.isOpen() || errno != EEXIST) {
            return file;
        }
    }
    return {};
}

bool writeAll(const FileHandle& file, std::string_view bytes) {
    return writeAll(file, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

// The existing file's owner and mode on the new one. Only root may give a
// file away; for anyone else a differing owner stays ours, as a new file would.
bool takeOver(const FileHandle& file, const struct stat& existing) {
    const int fd = static_cast<int>(file.native());
    if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) {
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0 && errno != EPERM) {
            return false;
        }
    }
    return ::fchmod(fd, existing.st_mode & 07777) == 0;
}

std::string failure(const std::string& path) {
    return path + ": " + std::strerror(errno);
}

} // namespace

bool replaceFileContents(const std::string& path, std::string_view bytes) {
    const std::optional<Location> at = saveLocation(path);
    if (!at) {
        return false;
    }
    const std::string target = at->path();
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) {
        return false;
    }
    // A rename would replace what we could not write to in place, and would
    // put a file where the client keeps something else.
    if (exists && (!S_ISREG(existing.st_mode) || ::access(target.c_str(), W_OK) != 0)) {
        return false;
    }

    std::string temporary;
    // Until it has the existing file's mode, nobody else may read what we write.
    FileHandle file = createTemporary(*at, exists ? 0600 : 0666, temporary);
    if (!file.isOpen()) {
        return false;
    }
    bool ok =
        (!exists || takeOver(file, existing)) && writeAll(file, bytes) && flush(file, Flush::All);
    // Some file systems report a failed write only when the file is closed.
    ok = file.close() && ok;
    ok = ok && renameOver(temporary, target);
    if (!ok) {
        (void)removeFile(temporary);
        return false;
    }
    // Makes the rename itself survive a power loss; a file system that cannot
    // sync a folder has nothing more to do.
    return flushFolder(at->folder) != FolderFlush::Failed;
}

void removeInterruptedSaves(const std::string& path) {
    const std::optional<Location> at = saveLocation(path);
    if (!at) {
        return;
    }
    DIR* folder = ::opendir(at->folder.c_str());
    if (folder == nullptr) {
        return;
    }
    const std::string prefix = at->temporaryPrefix();
    const int folderFd = ::dirfd(folder);
    while (const dirent* entry = ::readdir(folder)) {
        struct stat st {};
        if (save_names::isTemporaryName(entry->d_name, prefix) &&
            ::fstatat(folderFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode)) {
            ::unlinkat(folderFd, entry->d_name, 0);
        }
    }
    ::closedir(folder);
}

bool createNewFile(const std::string& path, const std::string& content, bool ownerOnly,
                   std::string& error) {
    FileHandle file = openForWriting(path, Creation::New, ownerOnly ? 0600 : 0644);
    if (!file.isOpen()) {
        error = failure(path);
        return false;
    }
    // A key that was handed out must not vanish in a crash.
    bool ok = writeAll(file, content) && flush(file, Flush::All);
    if (!ok) {
        error = failure(path);
    }
    if (!file.close() && ok) {
        error = failure(path);
        ok = false;
    }
    if (!ok) {
        (void)removeFile(path);
    }
    return ok;
}

std::FILE* openNewStdioFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        std::remove(path.c_str());
    }
    return file;
}

} // namespace qlx
