#include "base/utf16_windows.h"
#include "update/exclusive_file.h"

#include <algorithm>

namespace qlx {

namespace {

HANDLE toHandle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

} // namespace

ExclusiveFile::~ExclusiveFile() {
    close();
}

bool ExclusiveFile::open(const std::string& path) {
    close();
    if (path.empty()) {
        return false;
    }
    // No sharing: while this handle is open no other may be, and the open
    // fails while another program has the file open. OPEN_ALWAYS rather than
    // CREATE_ALWAYS, so that such a file keeps its bytes.
    const HANDLE file = CreateFileW(toUtf16(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool ExclusiveFile::close() {
    if (!isOpen()) {
        return true;
    }
    const HANDLE file = toHandle(handle_);
    handle_ = kClosed;
    return CloseHandle(file) != 0;
}

} // namespace qlx
