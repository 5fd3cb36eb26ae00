#pragma once

#include "base/optional_string.h"

#include <string>

namespace qlx {

// The caller's arguments are one string of /KEY=value; fields. A key is found
// by the first case-sensitive occurrence of its exact text; its value runs to
// the next ";". There is no quoting: blanks, "=" and backslashes are ordinary
// value characters.

// The value of `matchstring` in `totalstring`. Never null: a missing key, a
// null argument or a value without its closing ";" all give the empty string.
[[nodiscard]] std::string uf_getstring(const OptString& matchstring, const OptString& totalstring);

// `totalstring` with the key set to `setstring`; appended when the key is
// missing. Null when any argument is null.
[[nodiscard]] OptString uf_setstring(const OptString& matchstring, const OptString& totalstring,
                                     const OptString& setstring);

} // namespace qlx
