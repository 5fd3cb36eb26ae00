#pragma once

#include <string>
#include <vector>

namespace qlx {

// The argument text of a full Windows-style command line: everything after the
// program's own name, which may be quoted. Text is UTF-8.
[[nodiscard]] std::string commandLineText(const std::string& commandLine);

// The argument text of an entry point that receives a list: the arguments
// after the program name, joined with single blanks.
[[nodiscard]] std::string joinArguments(const std::vector<std::string>& argumentsAfterProgram);

} // namespace qlx
