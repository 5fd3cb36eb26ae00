#include "platform/exclusive_file.h"
#include "platform/text_encoding.h"

#include <algorithm>
#include <windows.h>

namespace qlx {

namespace {

HANDLE toHandle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

} // namespace

ExclusiveFile::~ExclusiveFile() {
    close();
}

namespace {

// `path` opened for reading and writing, shared with readers only: no other
// handle may write, rename or delete the file while this one is open, and the
// open fails while another program has the file open for any of these.
// Readers stay allowed, so that the extraction library can read the package
// that is held; it must open it sharing writing with this handle.
HANDLE openShared(const std::string& path, DWORD disposition) {
    if (path.empty()) {
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(toUtf16(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                       nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

bool ExclusiveFile::open(const std::string& path) {
    close();
    // OPEN_ALWAYS rather than CREATE_ALWAYS, so that a file another program
    // holds keeps its bytes.
    const HANDLE file = openShared(path, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER start{};
    if (SetFilePointerEx(file, start, nullptr, FILE_BEGIN) == 0 || SetEndOfFile(file) == 0) {
        CloseHandle(file);
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool ExclusiveFile::openExisting(const std::string& path) {
    close();
    const HANDLE file = openShared(path, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool ExclusiveFile::write(const char* data, std::size_t size) {
    if (!isOpen()) {
        return false;
    }
    while (size > 0) {
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000));
        DWORD written = 0;
        if (WriteFile(toHandle(handle_), data, part, &written, nullptr) == 0 || written == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// Windows writes its cache back on its own; a flush here would wait for it.
void ExclusiveFile::startWriteBack() {}

std::int64_t ExclusiveFile::readAt(std::uint64_t offset, char* data, std::size_t size) {
    if (!isOpen()) {
        return -1;
    }
    const HANDLE file = toHandle(handle_);
    // A read at an offset moves the file pointer of a synchronous handle;
    // it is put back, so that writes go on where they were.
    LARGE_INTEGER none{};
    LARGE_INTEGER position{};
    if (SetFilePointerEx(file, none, &position, FILE_CURRENT) == 0) {
        return -1;
    }
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFU);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32U);
    const DWORD part = static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000));
    DWORD got = 0;
    const bool read = ReadFile(file, data, part, &got, &at) != 0;
    const bool atEnd = !read && GetLastError() == ERROR_HANDLE_EOF;
    if (SetFilePointerEx(file, position, nullptr, FILE_BEGIN) == 0 || (!read && !atEnd)) {
        return -1;
    }
    return read ? static_cast<std::int64_t>(got) : 0;
}

std::optional<std::uint64_t> ExclusiveFile::size() const {
    LARGE_INTEGER size{};
    if (!isOpen() || GetFileSizeEx(toHandle(handle_), &size) == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool ExclusiveFile::close() {
    if (!isOpen()) {
        return true;
    }
    const HANDLE file = toHandle(handle_);
    handle_ = kClosed;
    return CloseHandle(file) != 0;
}

} // namespace qlx
