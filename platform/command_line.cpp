#include "platform/command_line.h"

namespace qlx {

namespace {

// The length of the UTF-8 character that starts at `at`: its first byte and the
// continuation bytes that follow it.
std::size_t characterLength(const std::string& text, std::size_t at) {
    std::size_t end = at + 1;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0U) == 0x80U) {
        ++end;
    }
    return end - at;
}

} // namespace

std::string commandLineText(const std::string& commandLine) {
    if (!commandLine.empty() && commandLine.front() == '"') {
        const std::size_t closing = commandLine.find('"', 1);
        if (closing == std::string::npos) {
            return commandLine.substr(1);
        }
        // The closing quote and one separator character are skipped; with
        // nothing after them there is no argument text.
        const std::size_t separator = closing + 1;
        if (separator >= commandLine.size()) {
            return {};
        }
        return commandLine.substr(separator + characterLength(commandLine, separator));
    }
    const std::size_t blank = commandLine.find(' ');
    if (blank == std::string::npos) {
        return {};
    }
    return commandLine.substr(blank + 1);
}

std::string joinArguments(const std::vector<std::string>& argumentsAfterProgram) {
    std::string joined;
    for (std::size_t i = 0; i < argumentsAfterProgram.size(); ++i) {
        if (i > 0) {
            joined += ' ';
        }
        joined += argumentsAfterProgram[i];
    }
    return joined;
}

} // namespace qlx
