#pragma once

#include <optional>
#include <string>

namespace qlx {

// The number that argument text holds, as the client writes numbers: blanks,
// an optional sign, decimal digits with an optional fraction (".5" and "5."
// too) and an optional exponent, blanks. Nothing else is a number: no hex, no
// group separators, no "inf" or "nan"; neither is a value too large or too
// small for a double. Independent of the program's locale.
[[nodiscard]] std::optional<double> numberInText(const std::string& text);

} // namespace qlx
