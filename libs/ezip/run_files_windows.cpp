#include "libs/ezip/native_windows.h"
#include "libs/ezip/run_files.h"

namespace ezip::files {

using windows::adopt;
using windows::handleOf;
using windows::systemPath;

namespace {

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool isMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// Clears the read-only attribute, which keeps Windows from replacing or
// deleting a file where POSIX looks only at the folder's permissions. The
// attributes it had, or nullopt when it was not read-only or cannot be
// changed.
std::optional<DWORD> clearReadOnly(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
        SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) == 0) {
        return std::nullopt;
    }
    return attributes;
}

bool deleteFile(const std::wstring& path) {
    if (DeleteFileW(path.c_str()) != 0 || isMissing(GetLastError())) {
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED && clearReadOnly(path) &&
           DeleteFileW(path.c_str()) != 0;
}

// Writes a folder's entries (the names in it, not the files they name) to
// disk. A file system that cannot flush a folder (FAT) keeps its entries
// only as safe as the system makes them.
bool flushFolder(const std::wstring& path) {
    const io::Handle folder = adopt(CreateFileW(path.c_str(), GENERIC_WRITE, shareAll, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr),
                                    {});
    if (!folder.isOpen()) {
        return false;
    }
    if (FlushFileBuffers(handleOf(folder)) != 0) {
        return true;
    }
    const DWORD error = GetLastError();
    return error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_PARAMETER;
}

// Calls `visit(path, attributes)` for every entry of `folder` but "." and
// "..", and returns false as soon as a call does; true for a missing folder.
template <typename Visit> bool forEachEntry(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return isMissing(GetLastError());
    }
    bool ok = true;
    do {
        const std::wstring name(found.cFileName);
        if (name != L"." && name != L"..") {
            ok = visit(folder + L"\\" + name, found.dwFileAttributes);
        }
    } while (ok && FindNextFileW(search, &found) != 0);
    FindClose(search);
    return ok;
}

bool isRealFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Removes `path` and, when it is a folder and not a link to one, everything
// in it: a junction is removed, never entered.
bool removeTree(const std::wstring& path, DWORD attributes) {
    if (!isRealFolder(attributes)) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                   ? RemoveDirectoryW(path.c_str()) != 0 || isMissing(GetLastError())
                   : deleteFile(path);
    }
    const bool emptied = forEachEntry(path, removeTree);
    return emptied && (RemoveDirectoryW(path.c_str()) != 0 || isMissing(GetLastError()));
}

bool flushTree(const std::wstring& folder) {
    const bool below = forEachEntry(folder, [](const std::wstring& path, DWORD attributes) {
        return !isRealFolder(attributes) || flushTree(path);
    });
    return below && flushFolder(folder);
}

std::wstring parentOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) {
        return path;
    }
    std::wstring parent = path.substr(0, slash);
    if (!parent.empty() && parent.back() == L':') {
        parent.push_back(L'\\'); // the root of a drive
    }
    return parent;
}

} // namespace

Kind kindOf(const std::string& path) {
    const std::wstring wide = systemPath(path);
    const DWORD attributes =
        wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return !wide.empty() && isMissing(GetLastError()) ? Kind::Missing : Kind::Unknown;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return Kind::Other;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::Folder : Kind::File;
}

std::optional<unsigned> permissionsOf(const std::string& /*path*/) {
    return std::nullopt;
}

bool setPermissions(const std::string& /*path*/, unsigned /*permissions*/) {
    return true;
}

std::optional<std::string> realFolder(const std::string& path) {
    const io::Handle folder = io::openFolder(path, /*followLink=*/true);
    if (!folder.isOpen()) {
        return std::nullopt;
    }
    constexpr DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    const DWORD needed = GetFinalPathNameByHandleW(handleOf(folder), nullptr, 0, flags);
    if (needed == 0) {
        return std::nullopt;
    }
    std::wstring real(needed, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handleOf(folder), real.data(), needed, flags);
    if (length == 0 || length >= needed) {
        return std::nullopt;
    }
    real.resize(length);
    return windows::libraryPath(real);
}

std::optional<std::string> absoluteFolder(const std::string& path) {
    std::size_t root = 0;
    if (path.size() >= 3 && path[1] == ':' && isSeparator(path[2]) &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        root = 3; // "C:\"
    } else if (path.size() >= 3 && isSeparator(path[0]) && isSeparator(path[1]) &&
               !isSeparator(path[2])) {
        root = 2; // "\\server\share"
    } else {
        return std::nullopt; // relative, or "\x" on the current drive
    }
    std::string folder(path);
    while (folder.size() > root && isSeparator(folder.back())) {
        folder.pop_back();
    }
    return folder;
}

bool rename(const std::string& from, const std::string& to) {
    constexpr DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    const std::wstring source = systemPath(from);
    const std::wstring target = systemPath(to);
    if (MoveFileExW(source.c_str(), target.c_str(), flags) != 0) {
        return true;
    }
    if (GetLastError() != ERROR_ACCESS_DENIED) {
        return false;
    }
    const std::optional<DWORD> attributes = clearReadOnly(target);
    if (!attributes) {
        return false;
    }
    if (MoveFileExW(source.c_str(), target.c_str(), flags) != 0) {
        return true;
    }
    SetFileAttributesW(target.c_str(), *attributes);
    return false;
}

bool link(const std::string& from, const std::string& to) {
    return CreateHardLinkW(systemPath(to).c_str(), systemPath(from).c_str(), nullptr) != 0;
}

bool remove(const std::string& path) {
    return deleteFile(systemPath(path));
}

bool makeFolder(const std::string& path) {
    return CreateDirectoryW(systemPath(path).c_str(), nullptr) != 0;
}

bool removeFolder(const std::string& path) {
    return RemoveDirectoryW(systemPath(path).c_str()) != 0 || isMissing(GetLastError());
}

bool removeStagingFolder(const std::string& path) {
    const std::wstring wide = systemPath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return isMissing(GetLastError());
    }
    return removeTree(wide, attributes);
}

bool syncFileSystemOf(const std::string& path) {
    return flushTree(systemPath(path));
}

bool syncParentOf(const std::string& path) {
    return flushFolder(parentOf(systemPath(path)));
}

std::optional<std::uint64_t> deviceOf(const std::string& path) {
    const io::Handle folder = io::openFolder(path, /*followLink=*/true);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folder.isOpen() || GetFileInformationByHandle(handleOf(folder), &info) == 0) {
        return std::nullopt;
    }
    return info.dwVolumeSerialNumber;
}

} // namespace ezip::files
