// Writes the arguments it was given after the first, each ended by a NUL, to
// the file named by the first, as UTF-8. The file appears under its name only
// once it is whole, so that a reader never sees a part of it.
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

int record(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return 2;
    }
    const std::filesystem::path out(std::u8string(arguments[0].begin(), arguments[0].end()));
    std::filesystem::path part = out;
    part += ".part";
    {
        std::ofstream file(part, std::ios::binary | std::ios::trunc);
        for (std::size_t i = 1; i < arguments.size(); ++i) {
            file << arguments[i] << '\0';
        }
        if (!file.flush()) {
            return 1;
        }
    }
    std::error_code error;
    std::filesystem::rename(part, out, error);
    return error ? 1 : 0;
}

} // namespace

#ifdef _WIN32
// The arguments as the C runtime splits the command line, which is what a
// program started by the updater on Windows receives.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const int length =
            WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, utf8.data(), length, nullptr, nullptr);
        utf8.pop_back(); // the final zero
        arguments.push_back(utf8);
    }
    return record(arguments);
}
#else
int main(int argc, char** argv) {
    return record(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
