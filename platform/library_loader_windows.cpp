#include "platform/library_loader.h"
#include "platform/text_encoding.h"

#include <vector>
#include <windows.h>

namespace qlx {

namespace {

// The system's text for an error code, with the code.
std::string systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (length > 0 && text != nullptr) {
        message = fromUtf16(text, length);
    }
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    const std::string number = "error " + std::to_string(code);
    return message.empty() ? number : number + ": " + message;
}

bool isFullPath(const std::wstring& path) {
    return (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
           (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') &&
            (path[1] == L'\\' || path[1] == L'/'));
}

} // namespace

LibraryHandle loadLibrary(const std::string& path, std::string& reason) {
    const std::wstring wide = toUtf16(path);
    if (!isFullPath(wide)) {
        reason = "not a full path: " + path;
        return nullptr;
    }
    // A library that cannot be loaded is a value for the caller, never a box
    // of the system's own.
    DWORD previousMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    // The library's own folder and the system's folders, never the current
    // folder or PATH, for the library and for what it needs in turn.
    HMODULE module = LoadLibraryExW(
        wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    DWORD error = module == nullptr ? GetLastError() : ERROR_SUCCESS;
    if (module == nullptr && error == ERROR_INVALID_PARAMETER) {
        // A system without those flags: the altered search starts at the
        // library's folder instead of the executable's.
        module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        error = module == nullptr ? GetLastError() : ERROR_SUCCESS;
    }
    SetThreadErrorMode(previousMode, nullptr);
    if (module == nullptr) {
        reason = systemMessage(error);
    }
    return reinterpret_cast<LibraryHandle>(module);
}

LibraryEntry libraryEntry(LibraryHandle library, const char* symbol, std::string& reason) {
    const FARPROC address = GetProcAddress(reinterpret_cast<HMODULE>(library), symbol);
    if (address == nullptr) {
        // The system's text does not name the entry.
        reason = std::string(symbol) + ": " + systemMessage(GetLastError());
        return nullptr;
    }
    return reinterpret_cast<LibraryEntry>(address);
}

std::string libraryFileName(const std::string& baseName) {
    return baseName + ".dll";
}

std::string executableFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            std::size_t cut = length;
            while (cut > 0 && buffer[cut - 1] != L'\\' && buffer[cut - 1] != L'/') {
                --cut;
            }
            if (cut == 0) {
                return {};
            }
            // "C:\" keeps its separator.
            const std::size_t end = cut == 3 && buffer[1] == L':' ? cut : cut - 1;
            return fromUtf16(buffer.data(), end);
        }
        if (buffer.size() >= 32768) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace qlx
