// Holds a file open as a virus scanner or an editor may: without sharing it,
// so that nobody can replace, rename or delete it meanwhile.
//   qlx_hold_file.exe PATH MILLISECONDS   (0: until it is ended)
// Writes "held" beside PATH as PATH.held once it holds the file.
#include <cwchar>
#include <string>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return 2;
    }
    const HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    const std::wstring mark = std::wstring(argv[1]) + L".held";
    CloseHandle(CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    const unsigned long milliseconds = std::wcstoul(argv[2], nullptr, 10);
    Sleep(milliseconds == 0 ? INFINITE : milliseconds);
    CloseHandle(file);
    return 0;
}
