#include "tools/package_store.h"

#include "db/blob_rows.h"
#include "db/db_connection.h"
#include "db/sql_dialect.h"

#include <algorithm>
#include <memory>

namespace qlx::publish {

namespace {

bool execute(DbConnection& db, const std::string& sql, const std::vector<DbParam>& params,
             std::string& error) {
    if (!dbExecute(db, sql, params)) {
        error = db.lastError();
        return false;
    }
    return true;
}

// The row with its package, in a transaction of its own unless the caller
// holds one: a package sent in parts must arrive whole or not at all.
bool insertRow(DbConnection& db, const BlobRow& row, std::string& error) {
    const bool ownTransaction = !db.inTransaction() && db.begin();
    bool ok = db.insertBlobRow(row, error);
    if (ownTransaction) {
        if (ok) {
            ok = db.commit();
            if (!ok) {
                error = db.lastError();
            }
        } else {
            db.rollback();
        }
    }
    return ok;
}

long removeRows(DbConnection& db, const std::string& table, const std::string& keyColumn,
                const std::string& key, std::string& error) {
    const std::unique_ptr<DbStatement> remove =
        db.prepare("DELETE FROM " + table + " WHERE " + keyColumn + " = ?");
    if (!remove || !remove->execute({key})) {
        error = db.lastError();
        return -1;
    }
    return static_cast<long>(remove->rowsAffected());
}

bool sameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        return lower(x) == lower(y);
    });
}

// One row of a listing, whose columns are the key, then in a per-build table
// FPATH and BUILDNO, then the size; false when a column cannot be read.
bool readListedRow(DbStatement& query, bool perBuild, ListedPackage& package) {
    std::optional<std::string> key;
    std::optional<std::string> fpath;
    std::optional<std::int64_t> buildno;
    std::optional<std::int64_t> size;
    int column = 0;
    bool ok = query.readText(column++, key);
    if (perBuild) {
        ok = ok && query.readText(column++, fpath) && query.readInteger(column++, buildno);
    }
    ok = ok && query.readInteger(column, size);
    if (!ok) {
        return false;
    }
    package.key = key.value_or(std::string());
    package.size = size;
    if (perBuild) {
        package.fpath = fpath.value_or(std::string());
        package.buildno = static_cast<long>(buildno.value_or(0));
    }
    return true;
}

bool listRows(DbConnection& db, const std::string& sql, bool perBuild,
              std::vector<ListedPackage>& out, std::string& error) {
    const std::unique_ptr<DbStatement> query = db.prepare(sql);
    if (!query || !query->execute()) {
        error = db.lastError();
        return false;
    }
    for (DbStep step = query->next(); step != DbStep::Done; step = query->next()) {
        ListedPackage package;
        if (step != DbStep::Row || !readListedRow(*query, perBuild, package)) {
            error = db.lastError();
            return false;
        }
        out.push_back(std::move(package));
    }
    return true;
}

// Appends the rows of `table` to `out`. The rows get their table's name only
// once the whole table is read.
bool listTable(DbConnection& db, const std::string& sql, bool perBuild, const std::string& table,
               std::vector<ListedPackage>& out, std::string& error) {
    const std::size_t first = out.size();
    if (!listRows(db, sql, perBuild, out, error)) {
        return false;
    }
    for (std::size_t i = first; i < out.size(); ++i) {
        out[i].table = table;
    }
    return true;
}

} // namespace

std::optional<std::string> buildTableNamed(const std::string& name) {
    for (const char* table : kBuildTables) {
        if (sameName(name, table)) {
            return std::string(table);
        }
    }
    return std::nullopt;
}

std::vector<std::string> schemaStatements(const SqlDialect& dialect) {
    std::vector<std::string> statements;
    for (const char* table : kBuildTables) {
        statements.push_back(std::string("CREATE TABLE ") + table + " (FILENAME " +
                             dialect.textType + " NOT NULL, FPATH " + dialect.textType +
                             ", BUILDNO " + dialect.intType + " NOT NULL, eFILE " +
                             dialect.blobType + ")");
    }
    statements.push_back(std::string("CREATE TABLE ") + kUpdateTable + " (UPDATE_ID " +
                         dialect.textType + " NOT NULL, UPFILE " + dialect.blobType + ")");
    return statements;
}

std::string indexStatement(const std::string& table) {
    const std::string key = table == kUpdateTable ? "UPDATE_ID" : "FILENAME";
    return "CREATE INDEX " + table + "_" + key + " ON " + table + " (" + key + ")";
}

bool createSchema(DbConnection& db, std::string& error) {
    const std::vector<std::string> statements = schemaStatements(db.dialect());
    std::vector<std::string> names(std::begin(kBuildTables), std::end(kBuildTables));
    names.emplace_back(kUpdateTable);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::optional<bool> exists = db.hasTable(names[i]);
        if (!exists) {
            error = db.lastError();
            return false;
        }
        if (*exists) {
            continue;
        }
        // Every package is looked up by its key, by the updater and by the
        // publisher's check for duplicates: without an index each look-up
        // reads the whole table, and a build of many packages costs the square
        // of their number.
        if (!execute(db, statements[i], {}, error) ||
            !execute(db, indexStatement(names[i]), {}, error)) {
            return false;
        }
        // Packages are zip archives: compressing them again is wasted work,
        // and uncompressed values can be read in slices.
        const std::string blob = names[i] == kUpdateTable ? "UPFILE" : "eFILE";
        const std::string uncompressed = uncompressedBlobStatement(db.dialect(), names[i], blob);
        if (!uncompressed.empty() && !execute(db, uncompressed, {}, error)) {
            return false;
        }
    }
    return true;
}

bool insertBuildPackage(DbConnection& db, const std::string& table, const BuildPackage& package,
                        std::string& error) {
    return insertRow(db,
                     {table,
                      {"FILENAME", "FPATH", "BUILDNO"},
                      {package.filename, package.fpath, static_cast<std::int64_t>(package.buildno)},
                      "eFILE",
                      &package.bytes},
                     error);
}

bool insertUpdatePackage(DbConnection& db, const std::string& updateId,
                         const std::optional<Bytes>& bytes, std::string& error) {
    return insertRow(db, {kUpdateTable, {"UPDATE_ID"}, {updateId}, "UPFILE", &bytes}, error);
}

long removeBuildPackage(DbConnection& db, const std::string& table, const std::string& filename,
                        std::string& error) {
    return removeRows(db, table, "FILENAME", filename, error);
}

long removeUpdatePackage(DbConnection& db, const std::string& updateId, std::string& error) {
    return removeRows(db, kUpdateTable, "UPDATE_ID", updateId, error);
}

std::optional<bool> packageExists(DbConnection& db, const std::string& table,
                                  const std::string& key, std::optional<std::int64_t> buildno,
                                  std::string& error) {
    const std::string keyColumn = table == kUpdateTable ? "UPDATE_ID" : "FILENAME";
    std::string text = "SELECT count(*) FROM " + table + " WHERE " + keyColumn + " = ?";
    std::vector<DbParam> values{key};
    if (buildno) {
        text += " AND BUILDNO = ?";
        values.emplace_back(*buildno);
    }
    const std::optional<std::int64_t> count = dbQueryInteger(db, text, values);
    if (!count) {
        error = db.lastError();
        return std::nullopt;
    }
    return *count > 0;
}

bool listPackages(DbConnection& db, std::vector<ListedPackage>& out, std::string& error) {
    const std::string length = db.dialect().blobLength;
    for (const char* table : kBuildTables) {
        if (!listTable(db,
                       "SELECT FILENAME, FPATH, BUILDNO, " + length + "(eFILE) FROM " + table +
                           " ORDER BY BUILDNO, FILENAME",
                       true, table, out, error)) {
            return false;
        }
    }
    return listTable(db, "SELECT UPDATE_ID, " + length + "(UPFILE) FROM QLX_UPT ORDER BY UPDATE_ID",
                     false, kUpdateTable, out, error);
}

} // namespace qlx::publish
