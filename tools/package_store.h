#pragma once

#include "base/bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qlx {
class DbConnection;
struct SqlDialect;
} // namespace qlx

namespace qlx::publish {

// The update database's tables, as the publisher creates them and the
// repository reads them.
inline constexpr const char* kBuildTables[] = {"QLX_UPT3", "QLX_UPT2"};
inline constexpr const char* kUpdateTable = "QLX_UPT";

// The DDL for a database product as its driver names it ("SQLite",
// "PostgreSQL", "Oracle").
[[nodiscard]] std::vector<std::string> schemaStatements(const SqlDialect& dialect);

// The index on the key column of `table` that its look-ups need.
[[nodiscard]] std::string indexStatement(const std::string& table);

// Creates the three tables that are missing, each with its index; false with `error` set on
// failure.
bool createSchema(DbConnection& db, std::string& error);

// A row of a per-build table; `bytes` nullopt stores a NULL BLOB.
struct BuildPackage {
    std::string filename;
    std::string fpath;
    long buildno = 0;
    std::optional<Bytes> bytes;
};
bool insertBuildPackage(DbConnection& db, const std::string& table, const BuildPackage& package,
                        std::string& error);
bool insertUpdatePackage(DbConnection& db, const std::string& updateId,
                         const std::optional<Bytes>& bytes, std::string& error);

// Number of rows removed, -1 on error.
long removeBuildPackage(DbConnection& db, const std::string& table, const std::string& filename,
                        std::string& error);
long removeUpdatePackage(DbConnection& db, const std::string& updateId, std::string& error);

struct ListedPackage {
    std::string table;
    std::string key;   // FILENAME or UPDATE_ID
    std::string fpath; // per-build tables only
    std::optional<long> buildno;
    std::optional<std::int64_t> size; // nullopt for a NULL BLOB
};
bool listPackages(DbConnection& db, std::vector<ListedPackage>& out, std::string& error);

// True when `table` holds a row whose key is `key` and, in a per-build
// table, whose build is `buildno`: one file name may have a package in each
// build.
std::optional<bool> packageExists(DbConnection& db, const std::string& table,
                                  const std::string& key, std::optional<std::int64_t> buildno,
                                  std::string& error);

// The per-build table named `name` (case-insensitive), or nullopt.
[[nodiscard]] std::optional<std::string> buildTableNamed(const std::string& name);

} // namespace qlx::publish
