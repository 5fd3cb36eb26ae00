#include "platform/file_access.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qlx {

namespace {

// Reads the open file to its end; false on a read error.
bool readAll(int fd, std::string& bytes) {
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string currentFolder() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) == nullptr ? std::string() : std::string(buffer);
}

// "a//b/./c/../d/" is "a/b/d"; ".." above the root stays at the root.
std::string cleanAbsolute(const std::string& absolute) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= absolute.size()) {
        std::size_t end = absolute.find('/', start);
        if (end == std::string::npos) {
            end = absolute.size();
        }
        const std::string part = absolute.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string clean;
    for (const std::string& part : parts) {
        clean += '/';
        clean += part;
    }
    return clean.empty() ? std::string("/") : clean;
}

} // namespace

FileContents readFileContents(const std::string& path) {
    FileContents contents;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return contents;
    }
    contents.state = FileReadState::Unusable;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return contents;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return contents;
    }
    // What was opened may have been swapped for something else after the check.
    const bool read = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && readAll(fd, contents.bytes);
    ::close(fd);
    if (!read) {
        contents.bytes.clear();
        return contents;
    }
    contents.state = FileReadState::Read;
    return contents;
}

bool isMarkedReadOnly(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

std::vector<std::string> fileIdentities(const std::string& path) {
    const std::string absolute =
        !path.empty() && path.front() == '/' ? path : currentFolder() + '/' + path;
    std::vector<std::string> names{cleanAbsolute(absolute)};
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        if (names.front() != resolved) {
            names.emplace_back(resolved);
        }
        std::free(resolved); // NOLINT(cppcoreguidelines-no-malloc): realpath's own allocation
    }
    return names;
}

} // namespace qlx
