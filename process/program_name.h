#pragma once

#include <string>

namespace qlx {

// The platform's file name of a Quillon program given by its base name:
// "quillon" is "quillon.exe" on Windows and "quillon" elsewhere.
[[nodiscard]] std::string programFileName(const std::string& baseName);

} // namespace qlx
