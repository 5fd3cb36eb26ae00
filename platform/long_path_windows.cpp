#include "platform/long_path_windows.h"

#include "platform/text_encoding.h"

#include <algorithm>
#include <string_view>

namespace qlx {

namespace {

constexpr std::wstring_view longPrefix = L"\\\\?\\";
constexpr std::wstring_view longUncPrefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view devicePrefix = L"\\\\.\\";

bool isDrivePath(std::wstring_view path) {
    return path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

} // namespace

std::wstring longPath(const std::string& path) {
    std::wstring wide = toUtf16(path);
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

std::wstring withoutLongPrefix(const std::wstring& path) {
    const std::wstring_view view(path);
    if (view.starts_with(longUncPrefix)) {
        return L"\\\\" + std::wstring(view.substr(longUncPrefix.size()));
    }
    if (view.starts_with(longPrefix)) {
        return std::wstring(view.substr(longPrefix.size()));
    }
    return path;
}

std::string fromLongPath(const std::wstring& path) {
    return fromUtf16(withoutLongPrefix(path));
}

std::optional<std::wstring> finalPathOf(HANDLE file) {
    constexpr DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    std::wstring resolved(MAX_PATH, L'\0');
    DWORD length = 0;
    for (;;) {
        length = GetFinalPathNameByHandleW(file, resolved.data(),
                                           static_cast<DWORD>(resolved.size()), flags);
        if (length < resolved.size()) {
            break;
        }
        // Too small: `length` is the size needed, its final zero included.
        resolved.resize(length);
    }
    if (length == 0) {
        return std::nullopt;
    }
    resolved.resize(length);
    return withoutLongPrefix(resolved);
}

// Opening with no access right and backup semantics follows links and works on
// folders.
std::optional<std::wstring> finalPath(const std::wstring& path) {
    const FileHandle file =
        adopt(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr),
              {});
    if (!file.isOpen()) {
        return std::nullopt;
    }
    return finalPathOf(handleOf(file));
}

} // namespace qlx
