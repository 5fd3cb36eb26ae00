#pragma once

// Windows only: UTF-8 paths and open handles as the system takes them.

#include "platform/file_handle.h"

#include <optional>
#include <string>
#include <windows.h>

namespace qlx {

// `path` (UTF-8, "/" or "\" separated, absolute or relative to the current
// folder) as a full UTF-16 path with the "\\?\" prefix, which lifts the
// MAX_PATH limit and makes the system take the name as it is. Empty when it
// cannot be converted. The extraction library refuses every name that the
// prefix would let through but Windows could not open otherwise (devices,
// trailing dots and blanks), so for it the prefix changes nothing else.
[[nodiscard]] std::wstring longPath(const std::string& path);

// A path the system returned, without the "\\?\" prefix: the usual form.
[[nodiscard]] std::wstring withoutLongPrefix(const std::wstring& path);
// The same as UTF-8.
[[nodiscard]] std::string fromLongPath(const std::wstring& path);

// The path of an open file or folder with every link resolved, in the usual
// form; nullopt when the system cannot tell it.
[[nodiscard]] std::optional<std::wstring> finalPathOf(HANDLE file);
// The same for an existing path (a file or a folder); nullopt when nothing
// can be opened there, a link to nothing included.
[[nodiscard]] std::optional<std::wstring> finalPath(const std::wstring& path);

// A HANDLE travels as an integer in the platform-neutral FileHandle.
[[nodiscard]] inline HANDLE handleOf(const FileHandle& handle) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return reinterpret_cast<HANDLE>(handle.native());
}

// Takes `handle` over; a closed FileHandle for INVALID_HANDLE_VALUE.
[[nodiscard]] inline FileHandle adopt(HANDLE handle, std::string path) {
    if (handle == INVALID_HANDLE_VALUE) {
        return {};
    }
    return {reinterpret_cast<std::intptr_t>(handle), std::move(path)};
}

} // namespace qlx
