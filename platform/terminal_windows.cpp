#include "platform/terminal.h"

#include <cstdio>
#include <iostream>
#include <windows.h>

namespace qlx {

std::optional<std::string> readHiddenLine(const std::string& prompt) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD before = 0;
    if (input == INVALID_HANDLE_VALUE || GetConsoleMode(input, &before) == 0) {
        return std::nullopt;
    }
    // Echo goes off before the prompt shows, so that nothing typed after it
    // is ever echoed.
    SetConsoleMode(input, before & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    SetConsoleMode(input, before);
    std::fputs("\n", stderr);
    if (!read) {
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

} // namespace qlx
