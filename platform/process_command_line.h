#pragma once

#include <string>

namespace qlx {

// This process's argument text as UTF-8: everything after the program's own name.
[[nodiscard]] std::string processCommandLineText();

} // namespace qlx
