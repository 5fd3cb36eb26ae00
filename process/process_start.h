#pragma once

#include <string>
#include <vector>

namespace qlx {

// Starts the program file at `program` (a path; it is not looked up in a
// search path) with `arguments`, and does not wait for it. Each argument
// reaches the program as exactly one argument, whatever blanks, quotes or
// backslashes it holds: no shell or command interpreter is involved. The
// program runs on its own, in the current folder, and outlives this process.
// False when it could not be started.
[[nodiscard]] bool startProgram(const std::string& program,
                                const std::vector<std::string>& arguments);

} // namespace qlx
