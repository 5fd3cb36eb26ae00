#pragma once

#include <string>

namespace qlx {

// The update FTP server's address, "a.b.c.d" or "a.b.c.d:port", fixed when the
// updater is built (CMake cache variable QLX_FTP_SERVER).
[[nodiscard]] std::string ftpServerAddress();

} // namespace qlx
