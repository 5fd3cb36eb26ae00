#pragma once

#include <string>
#include <vector>

namespace qlx {

// The program's arguments as UTF-8, its own name first. On Windows argv is
// in the ANSI code page and loses every character outside it, so the wide
// command line is read instead.
[[nodiscard]] std::vector<std::string> programArguments(int argc, char** argv);

} // namespace qlx
