#pragma once

#include <string>

namespace qlx {

// UTF-8 <-> UTF-16, the text of the ODBC interface's wide functions on every
// platform. A malformed sequence becomes U+FFFD.
[[nodiscard]] std::u16string utf8ToUtf16(const std::string& text);
[[nodiscard]] std::string utf16ToUtf8(const std::u16string& text);

} // namespace qlx
