#pragma once

// Windows only: the path of an existing file with every link resolved.

#include <optional>
#include <string>
#include <windows.h>

namespace qlx {

// Opening with no access right and backup semantics follows links and works on
// folders; nullopt when nothing can be opened there, a link to nothing included.
inline std::optional<std::wstring> finalPath(const std::wstring& path) {
    HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::wstring resolved(MAX_PATH, L'\0');
    DWORD length = 0;
    for (;;) {
        length =
            GetFinalPathNameByHandleW(file, resolved.data(), static_cast<DWORD>(resolved.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length < resolved.size()) {
            break;
        }
        // Too small: `length` is the size needed, its final zero included.
        resolved.resize(length);
    }
    CloseHandle(file);
    if (length == 0) {
        return std::nullopt;
    }
    resolved.resize(length);
    // The system answers in its long form; the client's paths have the usual one.
    static const std::wstring kUnc = L"\\\\?\\UNC\\";
    static const std::wstring kLong = L"\\\\?\\";
    if (resolved.compare(0, kUnc.size(), kUnc) == 0) {
        return L"\\\\" + resolved.substr(kUnc.size());
    }
    if (resolved.compare(0, kLong.size(), kLong) == 0) {
        return resolved.substr(kLong.size());
    }
    return resolved;
}

} // namespace qlx
