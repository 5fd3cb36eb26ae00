#pragma once

#include <QString>
#include <QStringList>

namespace qlx {

// A package of the build list that could not be installed, and why, in words
// for the user.
struct PackageFailure {
    QString file;
    QString reason;
};

// Why EZip refused or failed a package: its result code in words.
[[nodiscard]] QString extractionFailureText(long code);

// The text of the one box that tells the user which packages failed.
[[nodiscard]] QString packageFailuresText(const std::vector<PackageFailure>& failures);

} // namespace qlx
