#pragma once

#include <QString>

#include <optional>

namespace qlx {

// A string that may be unset. The updater distinguishes an unset value (null)
// from an empty one: a null takes part in no comparison and no concatenation.
using OptString = std::optional<QString>;

// Blanks are spaces: the client writes its fields and settings with spaces only.
[[nodiscard]] QString trimBlanks(const QString& s);
[[nodiscard]] QString trimTrailingBlanks(const QString& s);
[[nodiscard]] OptString trimBlanks(const OptString& s);

// "Empty" means null, or nothing left once leading and trailing blanks are gone.
[[nodiscard]] bool isBlank(const OptString& s);

} // namespace qlx
