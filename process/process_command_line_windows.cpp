#include "base/utf16_windows.h"
#include "process/command_line.h"
#include "process/process_command_line.h"

#include <cwchar>

namespace qlx {

std::string processCommandLineText() {
    const wchar_t* line = GetCommandLineW();
    return commandLineText(line == nullptr ? std::string() : fromUtf16(line, std::wcslen(line)));
}

} // namespace qlx
