#pragma once

#include "base/bytes.h"

#include <string>

namespace qlx::publish {

// Whether the updater's extraction library would unpack the archive
// `archive`, byte for byte as it goes into the database: it is written to and
// unpacked in a scratch folder that is removed afterwards. The publisher
// refuses what the updater could not install. Throws UnexpectedError when the
// extraction library cannot be loaded.
struct PackageCheck {
    bool accepted = false;
    long code = 0; // the library's result
    std::string reason;
};
[[nodiscard]] PackageCheck checkPackage(const Bytes& archive);

} // namespace qlx::publish
