#pragma once

#include <QString>

namespace qlx {

// This process's argument text: everything after the program's own name.
[[nodiscard]] QString processCommandLineText();

} // namespace qlx
