#pragma once

#include <optional>
#include <string>

namespace qlx {

// Shows `prompt` on the terminal and reads one line typed there without
// showing it, for a secret; nullopt when the standard input is no terminal.
[[nodiscard]] std::optional<std::string> readHiddenLine(const std::string& prompt);

} // namespace qlx
