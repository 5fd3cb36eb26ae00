#include "platform/command_line.h"
#include "platform/process_command_line.h"
#include "platform/text_encoding.h"

#include <cwchar>
#include <windows.h>

namespace qlx {

std::string processCommandLineText() {
    const wchar_t* line = GetCommandLineW();
    return commandLineText(line == nullptr ? std::string() : fromUtf16(line, std::wcslen(line)));
}

} // namespace qlx
