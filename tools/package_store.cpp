#include "tools/package_store.h"

#include "db/db_connection.h"
#include "db/sqlite_blob_io.h"
#include "db/sqlite_connection.h"

#include <algorithm>
#include <memory>

namespace qlx::publish {

namespace {

bool isPostgres(const DbConnection& db) {
    return db.productName() == "PostgreSQL";
}

// The PostgreSQL driver sends a bound bytea as text, over twice its size, and
// keeps what it is given whole: large packages go to PostgreSQL in parts.
constexpr std::size_t kPostgresPart = std::size_t{8} * 1024 * 1024;

std::string blobType(const std::string& product) {
    return product == "PostgreSQL" ? "BYTEA" : "BLOB";
}

std::string textType(const std::string& product) {
    return product == "Oracle" ? "VARCHAR2(255)" : "TEXT";
}

std::string intType(const std::string& product) {
    return product == "Oracle" ? "NUMBER(10)" : "INTEGER";
}

bool execute(DbConnection& db, const std::string& sql, const std::vector<DbParam>& params,
             std::string& error) {
    if (!dbExecute(db, sql, params)) {
        error = db.lastError();
        return false;
    }
    return true;
}

DbParam blobValue(const std::optional<Bytes>& bytes) {
    if (!bytes) {
        return DbNull{};
    }
    return DbBytes{bytes->data(), bytes->size()};
}

// Sends the package to PostgreSQL part by part into a temporary table and
// joins the parts on the server, so that neither side holds more than the
// package and one part at a time. Appending to the row instead would rewrite
// the growing value once per part.
bool stageInParts(DbConnection& db, const Bytes& bytes, std::string& error) {
    if (!execute(db, "CREATE TEMP TABLE qlx_publish_parts (n integer, part bytea) ON COMMIT DROP",
                 {}, error) ||
        !execute(db, "ALTER TABLE qlx_publish_parts ALTER COLUMN part SET STORAGE EXTERNAL", {},
                 error)) {
        return false;
    }
    const std::unique_ptr<DbStatement> insert =
        db.prepare("INSERT INTO qlx_publish_parts (n, part) VALUES (?, ?)");
    if (!insert) {
        error = db.lastError();
        return false;
    }
    std::int64_t n = 0;
    for (std::size_t offset = 0; offset < bytes.size(); offset += kPostgresPart) {
        const std::size_t size = std::min(kPostgresPart, bytes.size() - offset);
        if (!insert->execute({n++, DbBytes{bytes.data() + offset, size}})) {
            error = db.lastError();
            return false;
        }
    }
    return true;
}

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : separator) + item;
    }
    return text;
}

bool insertRow(DbConnection& db, const std::string& table, const std::vector<std::string>& columns,
               const std::vector<DbParam>& keyValues, const std::string& blobColumn,
               const std::optional<Bytes>& bytes, std::string& error) {
    const bool ownTransaction = !db.inTransaction() && db.begin();
    const std::vector<std::string> marks(columns.size(), "?");
    const bool parts = bytes && isPostgres(db) && bytes->size() > kPostgresPart;
    // SQLite would build the whole row in memory beside the caller's bytes; a
    // zero-filled BLOB of the right size is written in place instead.
    auto* sqlite = dynamic_cast<SqliteConnection*>(&db);
    const bool inPlace = bytes && !bytes->empty() && sqlite != nullptr;
    bool ok = true;
    std::string text = "INSERT INTO " + table + " (" + joined(columns, ", ") + ", " + blobColumn +
                       ") VALUES (" + joined(marks, ", ") + ", ";
    std::vector<DbParam> values = keyValues;
    if (parts) {
        ok = ownTransaction && stageInParts(db, *bytes, error);
        if (!ownTransaction) {
            error = "PostgreSQL refused to begin a transaction";
        }
        text += "(SELECT string_agg(part, ''::bytea ORDER BY n) FROM qlx_publish_parts))";
    } else if (inPlace) {
        text += "zeroblob(?))";
        values.emplace_back(static_cast<std::int64_t>(bytes->size()));
    } else {
        text += "?)";
        values.push_back(blobValue(bytes));
    }
    ok = ok && execute(db, text, values, error);
    if (ok && inPlace) {
        ok = SqliteBlobIo::write(sqlite->handle(), table, blobColumn, sqlite->lastInsertRowid(),
                                 bytes->data(), bytes->size(), error);
    }
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

std::vector<std::string> schemaStatements(const std::string& product) {
    std::vector<std::string> statements;
    for (const char* table : kBuildTables) {
        statements.push_back(std::string("CREATE TABLE ") + table + " (FILENAME " +
                             textType(product) + " NOT NULL, FPATH " + textType(product) +
                             ", BUILDNO " + intType(product) + " NOT NULL, eFILE " +
                             blobType(product) + ")");
    }
    statements.push_back(std::string("CREATE TABLE ") + kUpdateTable + " (UPDATE_ID " +
                         textType(product) + " NOT NULL, UPFILE " + blobType(product) + ")");
    return statements;
}

bool createSchema(DbConnection& db, std::string& error) {
    const std::vector<std::string> statements = schemaStatements(db.productName());
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
        if (!execute(db, statements[i], {}, error)) {
            return false;
        }
        // Packages are zip archives: compressing them again is wasted work,
        // and uncompressed values can be read in slices.
        const std::string blob = names[i] == kUpdateTable ? "UPFILE" : "eFILE";
        if (isPostgres(db) &&
            !execute(db,
                     "ALTER TABLE " + names[i] + " ALTER COLUMN " + blob + " SET STORAGE EXTERNAL",
                     {}, error)) {
            return false;
        }
    }
    return true;
}

bool insertBuildPackage(DbConnection& db, const std::string& table, const BuildPackage& package,
                        std::string& error) {
    return insertRow(db, table, {"FILENAME", "FPATH", "BUILDNO"},
                     {package.filename, package.fpath, static_cast<std::int64_t>(package.buildno)},
                     "eFILE", package.bytes, error);
}

bool insertUpdatePackage(DbConnection& db, const std::string& updateId,
                         const std::optional<Bytes>& bytes, std::string& error) {
    return insertRow(db, kUpdateTable, {"UPDATE_ID"}, {updateId}, "UPFILE", bytes, error);
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
    const std::string length = isPostgres(db) ? "octet_length" : "length";
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
