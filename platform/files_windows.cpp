#include "platform/files.h"
#include "platform/long_path_windows.h"
#include "platform/text_encoding.h"

#include <vector>

namespace qlx {

namespace {

bool isSlash(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool isMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

DWORD attributesOf(const std::string& path) {
    const std::wstring wide = longPath(path);
    return wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
}

// Clears the read-only attribute of a file, which keeps Windows from
// replacing or deleting it where POSIX looks only at the folder's
// permissions. The attributes it had, or nullopt when it was not a read-only
// file or cannot be changed.
std::optional<DWORD> clearReadOnly(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) !=
            FILE_ATTRIBUTE_READONLY ||
        SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) == 0) {
        return std::nullopt;
    }
    return attributes;
}

// Whether a move failed because another program uses one of its files:
// one opened without sharing its deletion fails with a sharing violation, and
// a running program's image (or a loaded DLL) with access denied on a file
// that is neither read-only nor a folder.
bool isBusy(DWORD error, const std::wstring& target) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
        error == ERROR_USER_MAPPED_FILE) {
        return true;
    }
    const DWORD attributes = GetFileAttributesW(target.c_str());
    return error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
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

std::optional<std::string> absoluteFolder(const std::string& path) {
    std::size_t root = 0;
    if (path.size() >= 3 && path[1] == ':' && isPathSeparator(path[2]) &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        root = 3; // "C:\"
    } else if (path.size() >= 3 && isPathSeparator(path[0]) && isPathSeparator(path[1]) &&
               !isPathSeparator(path[2])) {
        root = 2; // "\\server\share"
    } else {
        return std::nullopt; // relative, or "\x" on the current drive
    }
    std::string folder(path);
    while (folder.size() > root && isPathSeparator(folder.back())) {
        folder.pop_back();
    }
    return folder;
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

// Entered by the usual form: the current folder is read back as it was
// entered, and the client's paths have no "\\?\".
bool setCurrentFolder(const std::string& path) {
    return !path.empty() && SetCurrentDirectoryW(toUtf16(path).c_str()) != 0;
}

FileKind kindOf(const std::string& path) {
    const std::wstring wide = longPath(path);
    const DWORD attributes =
        wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return !wide.empty() && isMissing(GetLastError()) ? FileKind::Missing : FileKind::Unknown;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return FileKind::Other;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Folder : FileKind::File;
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

std::optional<std::string> realFolder(const std::string& path) {
    const FileHandle folder = openFolder(path, /*followLink=*/true);
    if (!folder.isOpen()) {
        return std::nullopt;
    }
    const std::optional<std::wstring> real = finalPathOf(handleOf(folder));
    return real ? std::optional<std::string>(fromUtf16(*real)) : std::nullopt;
}

std::optional<std::uint64_t> deviceOf(const std::string& path) {
    const FileHandle folder = openFolder(path, /*followLink=*/true);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folder.isOpen() || GetFileInformationByHandle(handleOf(folder), &info) == 0) {
        return std::nullopt;
    }
    return info.dwVolumeSerialNumber;
}

std::optional<unsigned> permissionsOf(const std::string& /*path*/) {
    return std::nullopt;
}

bool setPermissions(const std::string& /*path*/, unsigned /*permissions*/) {
    return true;
}

bool isMarkedReadOnly(const std::string& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// Named in the usual form, as the client writes its paths.
std::vector<std::string> fileIdentities(const std::string& path) {
    const std::wstring wide = toUtf16(path);
    std::vector<std::string> names;
    // GetFullPathNameW makes the path absolute and removes "." and "..".
    const DWORD needed = wide.empty() ? 0 : GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    const DWORD length =
        needed == 0 ? 0 : GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        names.push_back(path);
    } else {
        full.resize(length);
        names.push_back(fromUtf16(full));
    }
    if (const auto resolved = finalPath(longPath(path))) {
        std::string name = fromUtf16(*resolved);
        if (name != names.front()) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

FolderMade tryMakeFolder(const std::string& path) {
    const std::wstring wide = longPath(path);
    if (wide.empty()) {
        return FolderMade::Failed;
    }
    if (CreateDirectoryW(wide.c_str(), nullptr) != 0) {
        return FolderMade::Made;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        return FolderMade::Exists;
    }
    return error == ERROR_PATH_NOT_FOUND ? FolderMade::NoParent : FolderMade::Failed;
}

bool removeFile(const std::string& path) {
    const std::wstring wide = longPath(path);
    if (wide.empty()) {
        return false;
    }
    if (DeleteFileW(wide.c_str()) != 0 || isMissing(GetLastError())) {
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED && clearReadOnly(wide) &&
           DeleteFileW(wide.c_str()) != 0;
}

bool removeEmptyFolder(const std::string& path) {
    const std::wstring wide = longPath(path);
    return !wide.empty() && (RemoveDirectoryW(wide.c_str()) != 0 || isMissing(GetLastError()));
}

bool renameOver(const std::string& from, const std::string& to) {
    return replaceFile(from, to) == Replaced::Done;
}

Replaced replaceFile(const std::string& from, const std::string& to) {
    // Write-through: the move is on disk when this returns, so that a power
    // loss after it cannot bring back the file it replaced.
    constexpr DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    const std::wstring source = longPath(from);
    const std::wstring target = longPath(to);
    if (MoveFileExW(source.c_str(), target.c_str(), flags) != 0) {
        return Replaced::Done;
    }
    DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED) {
        const std::optional<DWORD> attributes = clearReadOnly(target);
        if (attributes) {
            if (MoveFileExW(source.c_str(), target.c_str(), flags) != 0) {
                return Replaced::Done;
            }
            error = GetLastError();
            SetFileAttributesW(target.c_str(), *attributes);
        }
    }
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
        return Replaced::NoSpace;
    }
    return isBusy(error, target) ? Replaced::Busy : Replaced::Failed;
}

bool hardLink(const std::string& from, const std::string& to) {
    return CreateHardLinkW(longPath(to).c_str(), longPath(from).c_str(), nullptr) != 0;
}

bool heldOpen(const std::string& path) {
    // DELETE is what a rename asks for; a running program's image grants it.
    const HANDLE file = CreateFileW(
        longPath(path).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

FileContents readFileContents(const std::string& path) {
    FileContents contents;
    const std::wstring wide = longPath(path);
    // The attributes of a link are its own, so a link to nothing is still found.
    const DWORD attributes =
        wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return contents;
    }
    contents.state = FileReadState::Unusable;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return contents;
    }
    const FileHandle file =
        adopt(CreateFileW(wide.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
              {});
    return readOpenedFile(file);
}

std::string lastSystemErrorText() {
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? fromUtf16(text, length) : std::string();
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}

} // namespace qlx
