#include "libs/ezip/native_windows.h"

#include "platform/text_encoding.h"

#include <algorithm>
#include <string_view>

namespace ezip::windows {

namespace {

constexpr std::wstring_view longPrefix = L"\\\\?\\";
constexpr std::wstring_view longUncPrefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view devicePrefix = L"\\\\.\\";

bool isDrivePath(std::wstring_view path) {
    return path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

} // namespace

std::wstring systemPath(const std::string& path) {
    std::wstring wide = qlx::toUtf16(path);
    if (wide.empty()) {
        return {};
    }
    // Prefixed paths are not normalised by the system: only the separators
    // need it.
    if (std::wstring_view(wide).starts_with(longPrefix)) {
        std::replace(wide.begin(), wide.end(), L'/', L'\\');
        return wide;
    }
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return {};
    }
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return {};
    }
    full.resize(length);
    if (isDrivePath(full)) {
        return std::wstring(longPrefix) + full;
    }
    if (full.size() > 2 && full[0] == L'\\' && full[1] == L'\\' &&
        !std::wstring_view(full).starts_with(devicePrefix)) {
        return std::wstring(longUncPrefix) + full.substr(2);
    }
    return full; // a device path, which the prefix would not make longer
}

std::string libraryPath(const std::wstring& path) {
    std::wstring_view view(path);
    if (view.starts_with(longUncPrefix)) {
        return qlx::fromUtf16(L"\\\\" + std::wstring(view.substr(longUncPrefix.size())));
    }
    if (view.starts_with(longPrefix)) {
        view.remove_prefix(longPrefix.size());
    }
    return qlx::fromUtf16(view.data(), view.size());
}

} // namespace ezip::windows
