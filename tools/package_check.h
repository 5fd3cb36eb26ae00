#pragma once

#include <QString>

namespace qlx::publish {

// Whether the updater's extraction library would unpack the archive at `zipPath`:
// it is unpacked into a scratch folder that is removed afterwards. The
// publisher refuses what the updater could not install. Throws UnexpectedError
// when the extraction library cannot be loaded.
struct PackageCheck {
    bool accepted = false;
    long code = 0; // the library's result
    QString reason;
};
[[nodiscard]] PackageCheck checkPackage(const QString& zipPath);

} // namespace qlx::publish
