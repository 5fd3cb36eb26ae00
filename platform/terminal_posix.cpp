#include "platform/terminal.h"

#include <cstdio>
#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace qlx {

std::optional<std::string> readHiddenLine(const std::string& prompt) {
    termios before{};
    if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &before) != 0) {
        return std::nullopt;
    }
    termios hidden = before;
    hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    // Echo goes off before the prompt shows, so that nothing typed after it
    // is ever echoed.
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
    std::fputs("\n", stderr);
    if (!read) {
        return std::nullopt;
    }
    return line;
}

} // namespace qlx
