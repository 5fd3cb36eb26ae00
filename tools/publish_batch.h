#pragma once

#include "tools/package_keys.h"

#include <optional>
#include <string>
#include <vector>

namespace qlx {
class DbConnection;
}

namespace qlx::publish {

// One package of add-build: the row it becomes and the archive it holds.
struct BuildEntry {
    std::string filename;
    std::string fpath;
    long buildno = 0;
    std::string zip;
};

// The packages named on the command line, four arguments each; a usage
// error (kUsage, reported) when they are not.
int entriesOfArguments(const std::vector<std::string>& args, std::vector<BuildEntry>& entries);

// The packages of a manifest file, one a line: FILENAME FPATH BUILDNO ZIP,
// separated by tabs, or by blanks on a line without a tab. Empty lines and
// lines starting with '#' are skipped. kFailure or kUsage, reported, when the
// file cannot be read or a line is not a package.
int entriesOfManifest(const std::string& manifest, std::vector<BuildEntry>& entries);

// Adds every entry to `table` in one transaction: each archive is signed with
// `key` when there is one and must pass the package check, and no row may be
// there already or twice in the batch. One failure, and none is added; every
// failure is reported, not only the first.
int addBuilds(DbConnection& db, const std::string& table, const std::vector<BuildEntry>& entries,
              const std::optional<SecretKey>& key);

} // namespace qlx::publish
