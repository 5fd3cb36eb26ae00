#include "process/process_table_linux.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qlx {

namespace {

std::optional<std::uint32_t> pidFromName(const char* name) {
    if (*name == '\0') {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(*c - '0');
        if (value > UINT32_MAX) {
            return std::nullopt;
        }
    }
    return static_cast<std::uint32_t>(value);
}

// Reads at most `limit` bytes; nullopt when the file cannot be read (the
// process went away, or its entry is not ours to read).
std::optional<std::string> readSmallFile(int rootFd, const std::string& path, std::size_t limit) {
    const int fd = ::openat(rootFd, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content(limit, '\0');
    std::size_t used = 0;
    bool failed = false;
    while (used < limit) {
        const ssize_t n = ::read(fd, content.data() + used, limit - used);
        if (n < 0) {
            failed = errno != EINTR;
            if (failed) {
                break;
            }
            continue;
        }
        if (n == 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (failed) {
        return std::nullopt;
    }
    content.resize(used);
    return content;
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The kernel marks the executable of a process whose file was removed or
// replaced (as an update does) with this suffix; the program is still the same.
std::string withoutDeletedMark(const std::string& target) {
    static const std::string mark = " (deleted)";
    if (target.size() <= mark.size() ||
        target.compare(target.size() - mark.size(), mark.size(), mark) != 0) {
        return target;
    }
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        return target; // a file really carries that name
    }
    return target.substr(0, target.size() - mark.size());
}

std::optional<std::string> exeLinkName(int rootFd, const std::string& dir) {
    std::array<char, PATH_MAX>
        buffer; // NOLINT(cppcoreguidelines-pro-type-member-init): filled below
    const ssize_t n = ::readlinkat(rootFd, (dir + "/exe").c_str(), buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) {
        return std::nullopt;
    }
    return baseName(withoutDeletedMark(std::string(buffer.data(), static_cast<std::size_t>(n))));
}

// The state letter follows the last ")" of /proc/PID/stat (comm may hold any
// character, ")" included). nullopt when the file cannot be read.
std::optional<char> processState(int rootFd, const std::string& dir) {
    const auto stat = readSmallFile(rootFd, dir + "/stat", 1024);
    if (!stat) {
        return std::nullopt;
    }
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos || close + 2 >= stat->size()) {
        return '?';
    }
    return (*stat)[close + 2];
}

// `dir` is the entry's folder relative to `rootFd`, which saves walking the
// root's path again for every file of every process.
std::optional<ProcessEntry> readEntry(int rootFd, const std::string& dir, std::uint32_t pid) {
    ProcessEntry entry;
    entry.pid = pid;
    std::string name;
    if (auto exe = exeLinkName(rootFd, dir)) {
        // A process whose executable can still be resolved has not ended yet.
        name = std::move(*exe);
    } else {
        const auto state = processState(rootFd, dir);
        if (!state || *state == 'Z' || *state == 'X' || *state == 'x') {
            return std::nullopt;
        }
        const auto cmdline = readSmallFile(rootFd, dir + "/cmdline", 8192);
        if (cmdline && !cmdline->empty() && cmdline->front() != '\0') {
            name = baseName(cmdline->substr(0, cmdline->find('\0')));
        } else if (auto comm = readSmallFile(rootFd, dir + "/comm", 64)) {
            name = comm->substr(0, comm->find('\n'));
        }
    }
    const auto size = std::min<std::size_t>(name.size(), ProcessEntry::kMaxExeName);
    // Linux file names are bytes; in the system's UTF-8 locale they are the
    // names' UTF-8 spelling already.
    entry.exeName = name.substr(0, size);
    return entry;
}

// Another user's programs are theirs: an administrator on a shared machine
// must never end somebody else's work.
bool ownedByUs(int rootFd, const std::string& dir) {
    struct stat owner {};
    return ::fstatat(rootFd, dir.c_str(), &owner, 0) == 0 && owner.st_uid == ::geteuid();
}

} // namespace

LinuxProcessTable::LinuxProcessTable(std::string procRoot) : root_(std::move(procRoot)) {}

ProcessSnapshot LinuxProcessTable::snapshot() {
    ProcessSnapshot snapshot;
    const int rootFd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        return snapshot;
    }
    std::vector<std::uint32_t> pids;
    // fdopendir takes over the descriptor it is given, so it gets its own.
    if (DIR* dir = ::fdopendir(::dup(rootFd))) {
        while (const dirent* e = ::readdir(dir)) {
            if (auto pid = pidFromName(e->d_name)) {
                pids.push_back(*pid);
            }
        }
        ::closedir(dir);
    }
    std::sort(pids.begin(), pids.end());

    bool haveFirst = false;
    snapshot.rest.reserve(pids.size());
    for (const std::uint32_t pid : pids) {
        const std::string dir = std::to_string(pid);
        const bool ours = ownedByUs(rootFd, dir);
        if (!ours && haveFirst) {
            continue;
        }
        auto entry = readEntry(rootFd, dir, pid);
        if (!entry) {
            continue;
        }
        // The first entry keeps its place, blank when it is not ours.
        if (!haveFirst) {
            snapshot.first = ours ? std::move(*entry) : ProcessEntry{};
            haveFirst = true;
        } else {
            snapshot.rest.push_back(std::move(*entry));
        }
    }
    ::close(rootFd);
    return snapshot;
}

bool LinuxProcessTable::terminate(std::uint32_t pid) {
    // kill() reads 0 as "my process group" and negative ids as whole groups;
    // such ids are no single process and must never reach it.
    if (pid == 0 || pid > static_cast<std::uint32_t>(INT_MAX)) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}

std::unique_ptr<ProcessTable> makeSystemProcessTable() {
    return std::make_unique<LinuxProcessTable>();
}

} // namespace qlx
