#pragma once

#include <string>
#include <vector>

namespace qlx {

// A package of the build list that could not be installed, and why, in words
// for the user.
struct PackageFailure {
    std::string file;
    std::string reason;
};

// Why EZip refused or failed a package: its result code in words.
[[nodiscard]] std::string extractionFailureText(long code);

// The text of the one box that tells the user which packages failed.
[[nodiscard]] std::string packageFailuresText(const std::vector<PackageFailure>& failures);

} // namespace qlx
