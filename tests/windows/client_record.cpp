// A stand-in for the Quillon client on Windows: records how it was started in
// client-started.txt beside itself, as UTF-8: the whole command line on the
// first line, then each argument as the C runtime splits it, one a line.
// The shell's declarations need windows.h before them.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <fstream>
#include <string>

namespace {

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back();
    return out;
}

} // namespace

int main() {
    std::wstring own(MAX_PATH, L'\0');
    own.resize(GetModuleFileNameW(nullptr, own.data(), MAX_PATH));
    const std::wstring folder = own.substr(0, own.find_last_of(L'\\'));
    const std::wstring part = folder + L"\\client-started.part";

    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    {
        std::ofstream out(part.c_str(), std::ios::binary | std::ios::trunc);
        out << "command line: " << utf8(GetCommandLineW()) << '\n';
        for (int i = 1; i < count; ++i) {
            out << "argument: [" << utf8(arguments[i]) << "]\n";
        }
    }
    LocalFree(arguments);
    // Appears whole or not at all.
    return MoveFileExW(part.c_str(), (folder + L"\\client-started.txt").c_str(),
                       MOVEFILE_REPLACE_EXISTING)
               ? 0
               : 1;
}
