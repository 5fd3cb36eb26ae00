#include "platform/library_search.h"

#include <windows.h>

namespace qlx {

void restrictLibrarySearch() {
    // Windows 7 has the call only with its loader update; looked up instead of
    // imported, so that the program starts without it.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    const auto setDefault =
        kernel32 == nullptr
            ? nullptr
            : reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(
                  GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (setDefault != nullptr &&
        setDefault(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE) {
        return;
    }
    // Without it, the current folder at least leaves the search.
    SetDllDirectoryW(L"");
}

} // namespace qlx
