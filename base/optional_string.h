#pragma once

#include <optional>
#include <string>

namespace qlx {

// Text in the updater is UTF-8 in std::string; it becomes UTF-16 or the
// system's 8-bit encoding only where it leaves the program.
//
// A string that may be unset. The updater distinguishes an unset value (null)
// from an empty one: a null takes part in no comparison and no concatenation.
using OptString = std::optional<std::string>;

// Blanks are spaces: the client writes its fields and settings with spaces only.
[[nodiscard]] std::string trimBlanks(const std::string& s);
[[nodiscard]] std::string trimTrailingBlanks(const std::string& s);
[[nodiscard]] OptString trimBlanks(const OptString& s);

// "Empty" means null, or nothing left once leading and trailing blanks are gone.
[[nodiscard]] bool isBlank(const OptString& s);

} // namespace qlx
