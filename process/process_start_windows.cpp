#include "platform/text_encoding.h"
#include "process/process_start.h"

#include <windows.h>

namespace qlx {

namespace {

// The program's name is read by the C runtime up to its closing quote, with no
// backslash rules; a Windows path holds no quote, so quoting it whole is exact.
void appendProgram(std::wstring& line, const std::wstring& program) {
    line += L'"';
    line += program;
    line += L'"';
}

// One argument as the C runtime splits command lines: blanks separate
// arguments unless quoted; a quote is written as \"; backslashes are literal
// unless they precede a quote, where each one is doubled.
void appendArgument(std::wstring& line, const std::wstring& argument) {
    line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    for (std::size_t i = 0;; ++i) {
        std::size_t backslashes = 0;
        while (i < argument.size() && argument[i] == L'\\') {
            ++backslashes;
            ++i;
        }
        if (i == argument.size()) {
            // They precede the closing quote.
            line.append(backslashes * 2, L'\\');
            break;
        }
        if (argument[i] == L'"') {
            line.append(backslashes * 2 + 1, L'\\');
        } else {
            line.append(backslashes, L'\\');
        }
        line += argument[i];
    }
    line += L'"';
}

// CreateProcessW takes at most this many characters, the final zero included.
constexpr std::size_t kMaxCommandLine = 32767;

} // namespace

bool startProgram(const std::string& program, const std::vector<std::string>& arguments) {
    const std::wstring application = toUtf16(program);
    if (application.empty()) {
        return false;
    }
    std::wstring line;
    appendProgram(line, application);
    for (const std::string& argument : arguments) {
        appendArgument(line, toUtf16(argument));
    }
    if (line.size() >= kMaxCommandLine) {
        return false;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // The program is named on its own, so that nothing is searched for it, and
    // inherits no handle of ours, such as the lock file's.
    if (CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE,
                       CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup, &started) == FALSE) {
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

} // namespace qlx
