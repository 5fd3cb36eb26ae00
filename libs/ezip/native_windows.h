#pragma once

// Windows only: the library's UTF-8 paths and its handles as the system
// takes them.

#include "libs/ezip/file_io.h"

#include <string>
#include <windows.h>

namespace ezip::windows {

// `path` (UTF-8, "/" or "\" separated, absolute or relative to the current
// folder) as a full UTF-16 path with the "\\?\" prefix, which lifts the
// MAX_PATH limit and makes the system take the name as it is. Empty when it
// cannot be converted. The library refuses every name that the prefix would
// let through but Windows could not open otherwise (devices, trailing dots
// and blanks), so the prefix changes nothing else.
[[nodiscard]] std::wstring systemPath(const std::string& path);

// A path the system returned, as UTF-8, without the "\\?\" prefix.
[[nodiscard]] std::string libraryPath(const std::wstring& path);

// A HANDLE travels as an integer in the platform-neutral io::Handle.
[[nodiscard]] inline HANDLE handleOf(const io::Handle& handle) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return reinterpret_cast<HANDLE>(handle.native());
}

// Takes `handle` over; a closed io::Handle for INVALID_HANDLE_VALUE.
[[nodiscard]] inline io::Handle adopt(HANDLE handle, std::string path) {
    if (handle == INVALID_HANDLE_VALUE) {
        return {};
    }
    return {reinterpret_cast<std::intptr_t>(handle), std::move(path)};
}

} // namespace ezip::windows
