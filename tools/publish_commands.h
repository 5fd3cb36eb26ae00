#pragma once

#include "base/bytes.h"
#include "package/package_key.h"
#include "package/package_place.h"
#include "tools/package_keys.h"
#include "tools/publish_batch.h"

#include <optional>
#include <string>
#include <vector>

namespace qlx {
class DbConnection;
}

namespace qlx::publish {

// The publisher's commands; each returns the program's exit status.

int printOracleDdl();
int keygen(const std::string& folder);
int signToFile(const std::optional<SecretKey>& key, const std::string& zip, const std::string& out);

// The archive `zip` as it goes to `place`: signed with `key` for that place
// when there is one, and accepted by the package check.
int checkedArchive(const std::string& zip, const std::optional<SecretKey>& key,
                   const PackagePlace& place, std::optional<Bytes>& bytes);

// A command on the update database, its arguments checked and its archive,
// if it takes one, read before the database is touched.
struct DatabaseCommand {
    std::string name;
    std::vector<std::string> args;
    std::string table;              // the per-build table of add-build and remove
    std::vector<BuildEntry> builds; // add-build's packages
    std::optional<SecretKey> key;   // add-build's signing key
    std::optional<Bytes> package;   // add-update's archive
    PackageKeys publicKeys;         // verify's keys
};

// Runs `command` on the connected database `db`.
int runOnDatabase(DbConnection& db, DatabaseCommand& command);

} // namespace qlx::publish
