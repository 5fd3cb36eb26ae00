#include "platform/atomic_file.h"
#include "platform/save_names.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
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

// A new file of ours beside the target; -1 when none could be created.
int createTemporary(const Location& at, mode_t mode, std::string& temporary) {
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        temporary = at.folder + '/' + at.temporaryPrefix() + randomSuffix();
        const int fd =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Regular files take every byte they are given unless something fails, but a
// signal or a nearly full disk may cut a write short.
bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

int syncRetrying(int fd) {
    int result = 0;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    return result;
}

// Makes the rename itself survive a power loss. A file system that cannot sync
// a folder says EINVAL; there is nothing more to do on it.
bool syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = syncRetrying(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return synced;
}

// The existing file's owner and mode on the new one. Only root may give a
// file away; for anyone else a differing owner stays ours, as a new file would.
bool takeOver(int fd, const struct stat& existing) {
    if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) {
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0 && errno != EPERM) {
            return false;
        }
    }
    return ::fchmod(fd, existing.st_mode & 07777) == 0;
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
    const int fd = createTemporary(*at, exists ? 0600 : 0666, temporary);
    if (fd < 0) {
        return false;
    }
    bool ok = (!exists || takeOver(fd, existing)) && writeAll(fd, bytes) && syncRetrying(fd) == 0;
    // Some file systems report a failed write only when the file is closed.
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    return syncFolder(at->folder);
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

} // namespace qlx
