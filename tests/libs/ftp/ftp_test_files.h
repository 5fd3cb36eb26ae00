#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qlx::test {

// Every byte value, including CR, LF and NUL, in pairs that a text-mode
// transfer would alter.
std::string allByteValues();
// `size` bytes that do not repeat with any short period.
std::string pseudoRandomBytes(std::size_t size, std::uint32_t seed);

// The names in `folder`, hidden ones included, in byte order.
std::vector<std::string> entriesOf(const std::string& folder);
// `names` separated by spaces, for failure messages.
std::string joined(const std::vector<std::string>& names);

} // namespace qlx::test
