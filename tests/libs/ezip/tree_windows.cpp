#include "libs/ezip/tree.h"

#include <stdexcept>
#include <windows.h>

namespace ezip_test {

std::string callerPath(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    BOOL lossy = FALSE;
    // UTF-8 holds every path, and the system refuses to report a loss for it.
    BOOL* report = GetACP() == CP_UTF8 ? nullptr : &lossy;
    const int length =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, report);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length <= 0 || lossy != FALSE ||
        WideCharToMultiByte(CP_ACP, 0, wide.data(), size, text.data(), length, nullptr, report) !=
            length) {
        throw std::runtime_error("the ANSI code page cannot hold a test path");
    }
    return text;
}

bool hasUnixModes() {
    return false;
}

} // namespace ezip_test
