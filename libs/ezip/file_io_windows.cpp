#include "libs/ezip/file_io.h"
#include "libs/ezip/native_windows.h"

#include <algorithm>
#include <string_view>
#include <windows.h>

namespace ezip::io {

using windows::adopt;
using windows::handleOf;

namespace {

// WriteFile and ReadFile count in DWORDs.
constexpr std::size_t maxTransfer = std::size_t{1} << 30U;
// 100-nanosecond intervals from 1601 to 1970.
constexpr std::int64_t unixEpochInFileTime = 116444736000000000;

// `relative` below the folder, with the folder's own separator.
std::wstring below(const Handle& folder, const std::string& relative) {
    return windows::systemPath(folder.path() + "\\" + relative);
}

files::Kind kindOfAttributes(DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return files::Kind::Other;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? files::Kind::Folder : files::Kind::File;
}

} // namespace

bool Handle::close() {
    if (native_ == invalid) {
        return true;
    }
    const HANDLE handle = handleOf(*this);
    native_ = invalid;
    return CloseHandle(handle) != 0;
}

Handle openForReading(const std::string& path, bool sequential) {
    // Write sharing admits only the handle the caller may already hold (the
    // updater keeps a checked package open, sharing it for reading alone,
    // until it is unpacked); anyone else is kept out by that handle.
    return adopt(CreateFileW(windows::systemPath(path).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | (sequential ? FILE_FLAG_SEQUENTIAL_SCAN : 0),
                             nullptr),
                 {});
}

std::optional<std::uint64_t> fileSize(const Handle& file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handleOf(file)) != FILE_TYPE_DISK ||
        GetFileInformationByHandle(handleOf(file), &info) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    return (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32U) | info.nFileSizeLow;
}

std::int64_t readAt(const Handle& file, std::uint64_t offset, void* buffer, std::size_t length) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFU);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32U);
    DWORD got = 0;
    if (ReadFile(handleOf(file), buffer, static_cast<DWORD>(std::min(length, maxTransfer)), &got,
                 &at) == 0) {
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return got;
}

Handle openForWriting(const std::string& path, Creation creation) {
    return adopt(CreateFileW(windows::systemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                             nullptr, creation == Creation::New ? CREATE_NEW : CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr),
                 {});
}

Handle openForAppending(const std::string& path) {
    // Append access alone makes every write land at the end.
    return adopt(CreateFileW(windows::systemPath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                 {});
}

Handle openFolder(const std::string& path, bool followLink) {
    // Held without FILE_SHARE_DELETE, the folder cannot be renamed or
    // removed while the library writes below it.
    Handle folder = adopt(
        CreateFileW(windows::systemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                    nullptr),
        path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folder.isOpen() || GetFileInformationByHandle(handleOf(folder), &info) == 0 ||
        kindOfAttributes(info.dwFileAttributes) != files::Kind::Folder) {
        return {};
    }
    return folder;
}

files::Kind kindAt(const Handle& folder, const std::string& relative) {
    const std::wstring path = below(folder, relative);
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        FindFirstFileExW(path.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? files::Kind::Missing
                   : files::Kind::Unknown;
    }
    FindClose(search);
    // A name can reach an entry of another name through its short (8.3)
    // alias: "QUILLO~1.EXE" would replace "quillon.exe". Such a name is no
    // place to unpack to.
    const std::wstring_view name = std::wstring_view(path).substr(path.find_last_of(L'\\') + 1);
    if (CompareStringOrdinal(name.data(), static_cast<int>(name.size()), found.cFileName, -1,
                             TRUE) != CSTR_EQUAL) {
        return files::Kind::Unknown;
    }
    return kindOfAttributes(found.dwFileAttributes);
}

bool makeFolderAt(const Handle& folder, const std::string& relative) {
    return CreateDirectoryW(below(folder, relative).c_str(), nullptr) != 0;
}

Handle createFileAt(const Handle& folder, const std::string& relative, bool /*executable*/) {
    return adopt(CreateFileW(below(folder, relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr),
                 {});
}

std::optional<FreeSpace> freeSpaceOf(const Handle& folder) {
    // The system wants a folder's path to end with a separator here.
    std::wstring path = windows::systemPath(folder.path());
    if (!path.empty() && path.back() != L'\\') {
        path.push_back(L'\\');
    }
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr) == 0) {
        return std::nullopt;
    }
    FreeSpace free;
    free.bytes = available.QuadPart;
    return free;
}

bool writeAll(const Handle& file, const unsigned char* data, std::size_t length) {
    while (length > 0) {
        DWORD put = 0;
        if (WriteFile(handleOf(file), data, static_cast<DWORD>(std::min(length, maxTransfer)), &put,
                      nullptr) == 0 ||
            put == 0) {
            return false;
        }
        data += put;
        length -= put;
    }
    return true;
}

void setModifiedTime(const Handle& file, std::int64_t seconds) {
    if (seconds < 0) {
        return;
    }
    const auto ticks = static_cast<std::uint64_t>(seconds * 10000000 + unixEpochInFileTime);
    FILETIME written{};
    written.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFU);
    written.dwHighDateTime = static_cast<DWORD>(ticks >> 32U);
    SetFileTime(handleOf(file), nullptr, nullptr, &written);
}

bool flush(const Handle& file) {
    return FlushFileBuffers(handleOf(file)) != 0;
}

bool flushStaged(const Handle& file) {
    return flush(file);
}

} // namespace ezip::io
