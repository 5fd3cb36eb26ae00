#pragma once

#include <string>

namespace qlx {

// The outside libraries take 8-bit text in the system's encoding: the ANSI
// code page on Windows, the locale's character set elsewhere (read once the
// program has set its locale). A character the encoding cannot hold becomes
// "?", as the system's own conversion makes it.

// UTF-8 text in the system's encoding.
[[nodiscard]] std::string toSystemEncoding(const std::string& utf8);
// Text in the system's encoding as UTF-8.
[[nodiscard]] std::string fromSystemEncoding(const std::string& text);

} // namespace qlx
