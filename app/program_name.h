#pragma once

#include <QString>

namespace qlx {

// The platform's file name of a Quillon program given by its base name:
// "quillon" is "quillon.exe" on Windows and "quillon" elsewhere.
[[nodiscard]] QString programFileName(const QString& baseName);

} // namespace qlx
