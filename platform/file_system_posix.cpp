#include "platform/file_system.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qlx {

namespace {

// The folder that holds `path`, by its text; empty when it has none.
std::string parentOf(const std::string& path) {
    std::size_t end = path.size();
    while (end > 1 && path[end - 1] == '/') {
        --end;
    }
    const std::size_t slash = path.rfind('/', end - 1);
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool statPath(const std::string& path, struct stat& info) {
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

} // namespace

char pathSeparator() {
    return '/';
}

bool isPathSeparator(char c) {
    return c == '/';
}

std::size_t rootLength(const std::string& path) {
    return !path.empty() && path.front() == '/' ? 1 : 0;
}

std::string currentFolder() {
    std::vector<char> buffer(PATH_MAX);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
    std::string folder(buffer.data());
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

bool setCurrentFolder(const std::string& path) {
    return !path.empty() && ::chdir(path.c_str()) == 0;
}

bool pathExists(const std::string& path) {
    struct stat info {};
    return statPath(path, info);
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return statPath(path, info) && S_ISDIR(info.st_mode);
}

bool isFile(const std::string& path) {
    struct stat info {};
    return statPath(path, info) && S_ISREG(info.st_mode);
}

bool makeFolder(const std::string& path) {
    return !path.empty() && ::mkdir(path.c_str(), 0777) == 0;
}

bool makeFolders(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (::mkdir(path.c_str(), 0777) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return isFolder(path);
    }
    if (errno != ENOENT) {
        return false;
    }
    const std::string parent = parentOf(path);
    if (parent.empty() || parent == path || !makeFolders(parent)) {
        return false;
    }
    return ::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && isFolder(path));
}

bool removeEmptyFolder(const std::string& path) {
    return !path.empty() && ::rmdir(path.c_str()) == 0;
}

bool removeFile(const std::string& path) {
    // unlink never takes a folder (EISDIR); a link is removed, not its target.
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

} // namespace qlx
