#include "platform/file_handle.h"
#include "platform/long_path_windows.h"

#include <algorithm>
#include <string_view>
#include <windows.h>

namespace qlx {

namespace {

// WriteFile and ReadFile count in DWORDs.
constexpr std::size_t maxTransfer = std::size_t{1} << 30U;
// 100-nanosecond intervals from 1601 to 1970.
constexpr std::int64_t unixEpochInFileTime = 116444736000000000;

// `relative` below the folder, with the folder's own separator.
std::wstring below(const FileHandle& folder, const std::string& relative) {
    return longPath(folder.path() + "\\" + relative);
}

FileKind kindOfAttributes(DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return FileKind::Other;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Folder : FileKind::File;
}

// The attributes alone: the fuller GetFileInformationByHandle asks for the
// volume's serial number as well, which some systems fetch from their mount
// manager at every call; zero (no kind) when they cannot be read.
DWORD attributesOf(const FileHandle& file) {
    FILE_BASIC_INFO info{};
    if (!file.isOpen() ||
        GetFileInformationByHandleEx(handleOf(file), FileBasicInfo, &info, sizeof info) == 0) {
        return 0;
    }
    return info.FileAttributes;
}

} // namespace

bool FileHandle::close() {
    if (native_ == invalid) {
        return true;
    }
    const HANDLE handle = handleOf(*this);
    native_ = invalid;
    return CloseHandle(handle) != 0;
}

FileHandle openForReading(const std::string& path, bool sequential) {
    // Write sharing admits only the handle the caller may already hold (the
    // updater keeps a checked package open, sharing it for reading alone,
    // until it is unpacked); anyone else is kept out by that handle.
    return adopt(CreateFileW(longPath(path).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | (sequential ? FILE_FLAG_SEQUENTIAL_SCAN : 0),
                             nullptr),
                 {});
}

std::optional<std::uint64_t> fileSize(const FileHandle& file) {
    FILE_STANDARD_INFO info{};
    if (GetFileType(handleOf(file)) != FILE_TYPE_DISK ||
        GetFileInformationByHandleEx(handleOf(file), FileStandardInfo, &info, sizeof info) == 0 ||
        info.Directory != FALSE) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.EndOfFile.QuadPart);
}

std::int64_t readAt(const FileHandle& file, std::uint64_t offset, void* buffer,
                    std::size_t length) {
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

FileHandle openForWriting(const std::string& path, Creation creation, unsigned /*permissions*/) {
    return adopt(CreateFileW(longPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             creation == Creation::New ? CREATE_NEW : CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr),
                 {});
}

FileHandle openForAppending(const std::string& path) {
    // Append access alone makes every write land at the end.
    return adopt(CreateFileW(longPath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                 {});
}

FileHandle openFolder(const std::string& path, bool followLink) {
    // Held without FILE_SHARE_DELETE, the folder cannot be renamed or
    // removed while the library writes below it.
    FileHandle folder = adopt(
        CreateFileW(longPath(path).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                    nullptr),
        path);
    if (!folder.isOpen() || kindOfAttributes(attributesOf(folder)) != FileKind::Folder) {
        return {};
    }
    return folder;
}

FileKind kindAt(const FileHandle& folder, const std::string& relative) {
    const std::wstring path = below(folder, relative);
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        FindFirstFileExW(path.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileKind::Missing
                                                                              : FileKind::Unknown;
    }
    FindClose(search);
    // A name can reach an entry of another name through its short (8.3)
    // alias: "QUILLO~1.EXE" would replace "quillon.exe". Such a name is no
    // place to unpack to.
    const std::wstring_view name = std::wstring_view(path).substr(path.find_last_of(L'\\') + 1);
    if (CompareStringOrdinal(name.data(), static_cast<int>(name.size()), found.cFileName, -1,
                             TRUE) != CSTR_EQUAL) {
        return FileKind::Unknown;
    }
    return kindOfAttributes(found.dwFileAttributes);
}

bool makeFolderAt(const FileHandle& folder, const std::string& relative) {
    return CreateDirectoryW(below(folder, relative).c_str(), nullptr) != 0;
}

FileHandle createFileAt(const FileHandle& folder, const std::string& relative,
                        bool /*executable*/) {
    return adopt(CreateFileW(below(folder, relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr),
                 {});
}

std::optional<FreeSpace> freeSpaceOf(const FileHandle& folder) {
    // The system wants a folder's path to end with a separator here.
    std::wstring path = longPath(folder.path());
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

bool writeAll(const FileHandle& file, const unsigned char* data, std::size_t length) {
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

void setModifiedTime(const FileHandle& file, std::int64_t seconds) {
    if (seconds < 0) {
        return;
    }
    const auto ticks = static_cast<std::uint64_t>(seconds * 10000000 + unixEpochInFileTime);
    FILETIME written{};
    written.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFU);
    written.dwHighDateTime = static_cast<DWORD>(ticks >> 32U);
    SetFileTime(handleOf(file), nullptr, nullptr, &written);
}

bool flush(const FileHandle& file, Flush /*what*/) {
    return FlushFileBuffers(handleOf(file)) != 0;
}

bool flushStaged(const FileHandle& file) {
    return flush(file);
}

} // namespace qlx
