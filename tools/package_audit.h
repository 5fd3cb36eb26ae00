#pragma once

#include "package/package_key.h"
#include "tools/package_store.h"

#include <string>

namespace qlx {
class DbConnection;
}

namespace qlx::publish {

// What the signature of a listed package says, without a key: "unsigned",
// "old signature", "signed FINGERPRINT", or "-" for a NULL package.
[[nodiscard]] std::string signatureSummary(DbConnection& db, const ListedPackage& package);

// Prints, for every package of the three tables, whether one of `keys`
// signed it for the row it sits in; kFailure when any package is not so.
int verifyAll(DbConnection& db, const PackageKeys& keys);

} // namespace qlx::publish
