#include "platform/file_handle.h"
#include "platform/files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace qlx {

namespace {

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); } // NOLINT(cppcoreguidelines-no-malloc)
};

// realpath's own allocation; nullptr when `path` cannot be resolved.
std::unique_ptr<char, FreeDeleter> resolved(const std::string& path) {
    return std::unique_ptr<char, FreeDeleter>(::realpath(path.c_str(), nullptr));
}

bool statPath(const std::string& path, struct stat& info) {
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
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

char pathSeparator() {
    return '/';
}

bool isPathSeparator(char c) {
    return c == '/';
}

std::size_t rootLength(const std::string& path) {
    return !path.empty() && path.front() == '/' ? 1 : 0;
}

std::optional<std::string> absoluteFolder(const std::string& path) {
    if (rootLength(path) == 0) {
        return std::nullopt;
    }
    std::string folder(path);
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
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

FileKind kindOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? FileKind::Missing : FileKind::Unknown;
    }
    if (S_ISREG(info.st_mode)) {
        return FileKind::File;
    }
    return S_ISDIR(info.st_mode) ? FileKind::Folder : FileKind::Other;
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

std::optional<std::string> realFolder(const std::string& path) {
    const auto real = resolved(path);
    if (!real) {
        return std::nullopt;
    }
    std::string folder(real.get());
    if (kindOf(folder) != FileKind::Folder) {
        return std::nullopt;
    }
    return folder;
}

std::optional<std::uint64_t> deviceOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_dev);
}

std::optional<unsigned> permissionsOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<unsigned>(info.st_mode) & 0777U;
}

bool setPermissions(const std::string& path, unsigned permissions) {
    return ::chmod(path.c_str(), permissions) == 0;
}

bool isMarkedReadOnly(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0;
}

std::vector<std::string> fileIdentities(const std::string& path) {
    const std::string absolute = rootLength(path) > 0 ? path : currentFolder() + '/' + path;
    std::vector<std::string> names{cleanAbsolute(absolute)};
    if (const auto real = resolved(path); real && names.front() != real.get()) {
        names.emplace_back(real.get());
    }
    return names;
}

FolderMade tryMakeFolder(const std::string& path) {
    if (path.empty()) {
        return FolderMade::Failed;
    }
    if (::mkdir(path.c_str(), 0777) == 0) {
        return FolderMade::Made;
    }
    if (errno == EEXIST) {
        return FolderMade::Exists;
    }
    return errno == ENOENT ? FolderMade::NoParent : FolderMade::Failed;
}

bool removeFile(const std::string& path) {
    // unlink never takes a folder (EISDIR); a link is removed, not its target.
    return !path.empty() && (::unlink(path.c_str()) == 0 || errno == ENOENT);
}

bool removeEmptyFolder(const std::string& path) {
    return !path.empty() && (::rmdir(path.c_str()) == 0 || errno == ENOENT);
}

bool renameOver(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

Replaced replaceFile(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        return Replaced::Done;
    }
    if (errno == ENOSPC || errno == EDQUOT) {
        return Replaced::NoSpace;
    }
    return errno == EBUSY || errno == ETXTBSY ? Replaced::Busy : Replaced::Failed;
}

bool hardLink(const std::string& from, const std::string& to) {
    return ::link(from.c_str(), to.c_str()) == 0;
}

bool heldOpen(const std::string& /*path*/) {
    return false;
}

bool onlyHeldFilesIn(const std::string& /*path*/) {
    return false;
}

FileContents readFileContents(const std::string& path) {
    FileContents contents;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return contents;
    }
    contents.state = FileReadState::Unusable;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return contents;
    }
    const FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY), {});
    return readOpenedFile(file);
}

std::string lastSystemErrorText() {
    return std::strerror(errno);
}

} // namespace qlx
