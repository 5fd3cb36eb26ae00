#pragma once

// Update databases for tests, one per kind of connection the transaction
// makes: a SQLite file, a PostgreSQL database of the fixture server, and ODBC
// data sources to both (with the Oracle identifiers, which reach ODBC here).
// Each target has the update tables and a writer connection for the test's
// own rows (qlx::publish::insertBuildPackage / insertUpdatePackage on
// *target->writer).

#include "db/db_connection.h"
#include "support/postgres_server.h"
#include "support/test_files.h"

#include <memory>
#include <optional>
#include <string>

namespace qlx::test {

enum class TargetKind {
    Sqlite,
    Postgres,
    OdbcSqliteConnectionString, // "ODBC" with a DRIVER=...;Database=... string
    OdbcSqliteDsn,              // "ODBC" with the DSN QLX_SQLITE (lock odbc_dsn)
    OracleViaOdbcSqliteDsn,     // "O84 ORACLE 8.0.4" with QLX_SQLITE (lock odbc_dsn)
    OracleViaOdbcPostgresDsn,   // "O10 Oracle10g (10.1.0)" with QLX_PG (lock odbc_dsn)
};

const char* targetName(TargetKind kind);

class UpdateTarget {
public:
    // nullptr with `error` set when the target cannot be made.
    static std::unique_ptr<UpdateTarget> make(TargetKind kind, std::string& error);
    ~UpdateTarget();
    UpdateTarget(const UpdateTarget&) = delete;
    UpdateTarget& operator=(const UpdateTarget&) = delete;

    TargetKind kind;
    std::string dbms;
    std::string serverName;
    std::string logId = "QUIL_UPT";
    std::string logPass = "KOLVEX4923TRA";
    // Where the test writes its rows; autocommitting. SQLite files are written
    // through SQLite's own library, the PostgreSQL databases as their owner.
    std::unique_ptr<DbConnection> writer;

private:
    UpdateTarget() = default;
    std::unique_ptr<TempDir> dir_;
    std::optional<PostgresServer> server_;
    std::string pgDatabase_;
};

} // namespace qlx::test
