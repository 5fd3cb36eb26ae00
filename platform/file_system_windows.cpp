#include "platform/file_system.h"
#include "platform/text_encoding.h"

#include <vector>
#include <windows.h>

namespace qlx {

namespace {

bool isSlash(wchar_t c) {
    return c == L'\\' || c == L'/';
}

DWORD attributesOf(const std::string& path) {
    return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(toUtf16(path).c_str());
}

// The folder that holds `path`, by its text; empty when it has none.
std::string parentOf(const std::string& path) {
    const std::size_t root = rootLength(path);
    std::size_t end = path.size();
    while (end > root && isPathSeparator(path[end - 1])) {
        --end;
    }
    std::size_t cut = end;
    while (cut > root && !isPathSeparator(path[cut - 1])) {
        --cut;
    }
    if (cut <= root) {
        return root > 0 && end > root ? path.substr(0, root) : std::string();
    }
    return path.substr(0, cut - 1);
}

} // namespace

char pathSeparator() {
    return '\\';
}

bool isPathSeparator(char c) {
    return c == '\\' || c == '/';
}

std::size_t rootLength(const std::string& path) {
    const std::size_t n = path.size();
    // "C:\" and "C:/"; "C:" alone is the current folder of that drive, no root.
    if (n >= 3 && path[1] == ':' && isPathSeparator(path[2])) {
        return 3;
    }
    // "\\server\share\"
    if (n >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1])) {
        std::size_t i = 2;
        for (int part = 0; part < 2 && i < n; ++part) {
            while (i < n && !isPathSeparator(path[i])) {
                ++i;
            }
            if (i < n) {
                ++i;
            }
        }
        return i;
    }
    // "\x": the root of the current drive.
    return n >= 1 && isPathSeparator(path[0]) ? 1 : 0;
}

std::string currentFolder() {
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) {
        return {};
    }
    std::vector<wchar_t> buffer(needed);
    const DWORD length = GetCurrentDirectoryW(needed, buffer.data());
    if (length == 0 || length >= needed) {
        return {};
    }
    std::size_t end = length;
    // "C:\" keeps its separator: without it, it names a drive's current folder.
    while (end > 3 && isSlash(buffer[end - 1])) {
        --end;
    }
    return fromUtf16(buffer.data(), end);
}

bool setCurrentFolder(const std::string& path) {
    return !path.empty() && SetCurrentDirectoryW(toUtf16(path).c_str()) != 0;
}

bool pathExists(const std::string& path) {
    return attributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool isFolder(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isFile(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool makeFolder(const std::string& path) {
    return !path.empty() && CreateDirectoryW(toUtf16(path).c_str(), nullptr) != 0;
}

bool makeFolders(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    const std::wstring wide = toUtf16(path);
    if (CreateDirectoryW(wide.c_str(), nullptr) != 0) {
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        return isFolder(path);
    }
    if (error != ERROR_PATH_NOT_FOUND) {
        return false;
    }
    const std::string parent = parentOf(path);
    if (parent.empty() || parent == path || !makeFolders(parent)) {
        return false;
    }
    return CreateDirectoryW(wide.c_str(), nullptr) != 0 ||
           (GetLastError() == ERROR_ALREADY_EXISTS && isFolder(path));
}

bool removeEmptyFolder(const std::string& path) {
    return !path.empty() && RemoveDirectoryW(toUtf16(path).c_str()) != 0;
}

bool removeFile(const std::string& path) {
    return !path.empty() && DeleteFileW(toUtf16(path).c_str()) != 0;
}

} // namespace qlx
