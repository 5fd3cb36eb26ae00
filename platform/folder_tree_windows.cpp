#include "platform/files.h"
#include "platform/long_path_windows.h"
#include "platform/text_encoding.h"

// Whole folders: removing one of our own, and getting what is below one onto
// the disk.
namespace qlx {

namespace {

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool isMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
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
    const std::string utf8 = fromUtf16(path);
    if (!isRealFolder(attributes)) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? removeEmptyFolder(utf8)
                                                            : removeFile(utf8);
    }
    return forEachEntry(path, removeTree) && removeEmptyFolder(utf8);
}

// Deletes a file that could not be deleted before; true when it is gone now
// or another program uses it: one opened without sharing its deletion, or a
// running program's image, which is refused as access denied.
bool goneOrHeld(const std::wstring& path) {
    if (DeleteFileW(path.c_str()) != 0) {
        return true;
    }
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || isMissing(error) ||
           (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_READONLY) == 0);
}

bool onlyHeldBelow(const std::wstring& folder) {
    return forEachEntry(folder, [](const std::wstring& path, DWORD attributes) {
        if (isRealFolder(attributes)) {
            return onlyHeldBelow(path);
        }
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && goneOrHeld(path);
    });
}

FolderFlush flushLongFolder(const std::wstring& path) {
    const FileHandle folder = adopt(CreateFileW(path.c_str(), GENERIC_WRITE, shareAll, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr),
                                    {});
    if (!folder.isOpen()) {
        return FolderFlush::Failed;
    }
    if (FlushFileBuffers(handleOf(folder)) != 0) {
        return FolderFlush::Done;
    }
    const DWORD error = GetLastError();
    return error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_PARAMETER
               ? FolderFlush::Done
               : FolderFlush::Failed;
}

bool flushTree(const std::wstring& folder) {
    const bool below = forEachEntry(folder, [](const std::wstring& path, DWORD attributes) {
        return !isRealFolder(attributes) || flushTree(path);
    });
    return below && flushLongFolder(folder) == FolderFlush::Done;
}

} // namespace

bool removeFolderTree(const std::string& path) {
    const std::wstring wide = longPath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return isMissing(GetLastError());
    }
    return removeTree(wide, attributes);
}

bool onlyHeldFilesIn(const std::string& path) {
    return onlyHeldBelow(longPath(path));
}

FolderFlush flushFolder(const std::string& folder) {
    return flushLongFolder(longPath(folder));
}

bool syncFileSystemOf(const std::string& path) {
    return flushTree(longPath(path));
}

} // namespace qlx
