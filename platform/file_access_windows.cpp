#include "platform/file_access.h"
#include "platform/final_path_windows.h"
#include "platform/text_encoding.h"

namespace qlx {

namespace {

// Reads the open file to its end; false on a read error.
bool readAll(HANDLE file, std::string& bytes) {
    char buffer[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (ReadFile(file, buffer, sizeof buffer, &got, nullptr) == FALSE) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        bytes.append(buffer, got);
    }
}

} // namespace

FileContents readFileContents(const std::string& path) {
    FileContents contents;
    const std::wstring wide = toUtf16(path);
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
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return contents;
    }
    const bool read = GetFileType(file) == FILE_TYPE_DISK && readAll(file, contents.bytes);
    CloseHandle(file);
    if (!read) {
        contents.bytes.clear();
        return contents;
    }
    contents.state = FileReadState::Read;
    return contents;
}

bool isMarkedReadOnly(const std::string& path) {
    const std::wstring wide = toUtf16(path);
    if (wide.empty()) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

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
    if (const auto resolved = finalPath(wide)) {
        std::string name = fromUtf16(*resolved);
        if (name != names.front()) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

} // namespace qlx
