#pragma once

#include "base/bytes.h"

#include <map>
#include <string>
#include <vector>

namespace qlx::test {

// A zip package made by Debian's zip from `files` (relative name -> content).
// Empty bytes, with a test failure recorded, when zip fails.
qlx::Bytes makePackage(const std::map<std::string, std::string>& files);

// The VALUE of the first row of `code` in the settings file `psr`, or
// "<absent>".
std::string settingIn(const std::string& psr, const std::string& code);

// A SQLite update database at `path` with the per-build tables and the
// single-package table, empty. Failures are recorded as test failures.
void createSqliteUpdateDatabase(const std::string& path);
// Adds a row to a per-build table; `null` stores a NULL BLOB.
void addBuildPackage(const std::string& database, const std::string& table,
                     const std::string& filename, const std::string& fpath, int buildno,
                     const qlx::Bytes& package, bool null = false);
// Runs one statement on the SQLite database (to break it, say).
void runSql(const std::string& database, const std::string& statement);
void addUpdatePackage(const std::string& database, const std::string& updateId,
                      const qlx::Bytes& package, bool null = false);

// File names that would lead a package out of its folder "tmp" onto
// `victim` (an absolute path to a "victim.zip"), or into a subfolder "sub".
std::vector<std::string> namesThatLeaveTheFolder(const std::string& victim);

} // namespace qlx::test
