#pragma once

// Update databases for tests, one per kind of connection the transaction
// makes: a SQLite file, a PostgreSQL database of the fixture server, and ODBC
// data sources to both (with the Oracle identifiers, which reach ODBC here).
// Each target has the update tables and a writer connection for the test's
// own rows (qlx::publish::insertBuildPackage / insertUpdatePackage).

#include "support/postgres_server.h"

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>

#include <memory>

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
    // nullopt with `error` set when the target cannot be made.
    static std::unique_ptr<UpdateTarget> make(TargetKind kind, QString& error);
    ~UpdateTarget();
    UpdateTarget(const UpdateTarget&) = delete;
    UpdateTarget& operator=(const UpdateTarget&) = delete;

    TargetKind kind;
    QString dbms;
    QString serverName;
    QString logId = QStringLiteral("QUIL_UPT");
    QString logPass = QStringLiteral("KOLVEX4923TRA");
    // Where the test writes its rows; autocommitting.
    QSqlDatabase writer;

private:
    UpdateTarget() = default;
    std::unique_ptr<QTemporaryDir> dir_;
    std::optional<PostgresServer> server_;
    QString pgDatabase_;
};

} // namespace qlx::test
