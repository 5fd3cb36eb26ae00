#pragma once

#include "db/repository.h"
#include "package/package_key.h"
#include "package/package_place.h"
#include "platform/exclusive_file.h"

#include <memory>
#include <string>

namespace qlx {

class Transaction;

// The copy of a signed package that an earlier run left in the package
// folder, when it is the one the database holds now: same length, same last
// bytes from its end-of-central-directory record on (which carry the
// signature), and a signature by one of `keys` for `place` over all of it. The
// database then sends only the package's tail instead of all of it. The copy
// is returned open and locked, as it was checked, read from the file in
// pieces; nullptr when there is no such copy: the package is then fetched
// whole.
[[nodiscard]] std::unique_ptr<ExclusiveFile>
keptPackage(Transaction& sqlca, const std::string& fileTable, const FileListRow& row,
            const std::string& packageFile, const PackageKeys& keys, const PackagePlace& place);

} // namespace qlx
