#include "platform/program_arguments.h"
#include "platform/text_encoding.h"

// The shell's declarations need windows.h before them.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace qlx {

std::vector<std::string> programArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return {argv, argv + argc};
    }
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        arguments.push_back(fromUtf16(std::wstring(wide[i])));
    }
    LocalFree(static_cast<void*>(wide));
    return arguments;
}

} // namespace qlx
