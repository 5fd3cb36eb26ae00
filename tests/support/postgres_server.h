#pragma once

// The PostgreSQL server of the CTest fixture "postgres" (tests/fixtures).
//
// A test registered with FIXTURES postgres reads the server's address with
// PostgresServer::fromEnvFile(), makes its own database with
// createDatabase() (the update tables are created in it, owned by the login
// role "QUIL_UPT"), and connects the transaction with DBMS "PostgreSQL" and
// serverName(database). Packages go in with qlx::publish::insertBuildPackage /
// insertUpdatePackage on superuser(database).
//
// Tests that change the role's password (setRolePassword) must hold the CTest
// RESOURCE_LOCK postgres_role, run with RUN_SERIAL (every test that logs in as
// the role meanwhile would fail) and put the password back:
//   qlx_add_server_test(my_test SERIAL SOURCES ... LIBS qlx_core qlx_test_postgres
//                       FIXTURES postgres LOCKS postgres_role)
// Tests that write the ODBC data sources QLX_SQLITE / QLX_PG hold
// RESOURCE_LOCK odbc_dsn.

#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace qlx::test {

class PostgresServer {
public:
    // The fixture's env file: QLX_TEST_SERVERS_DIR (environment, else the
    // build tree's test-servers folder) + "/postgres.env". nullopt with `error`
    // set when the fixture has not run.
    static std::optional<PostgresServer> fromEnvFile(QString* error = nullptr);

    [[nodiscard]] QString host() const { return host_; }
    [[nodiscard]] int port() const { return port_; }
    [[nodiscard]] QString role() const { return role_; }
    [[nodiscard]] QString rolePassword() const { return rolePassword_; }
    // The database the fixture made for the role.
    [[nodiscard]] QString defaultDatabase() const { return database_; }

    // "host:port/database", the transaction's ServerName for PostgreSQL.
    [[nodiscard]] QString serverName(const QString& database) const;

    // A superuser connection to `database` (its own connection name); check isOpen().
    [[nodiscard]] QSqlDatabase
    superuser(const QString& database = QStringLiteral("postgres")) const;

    // A new, empty database with the update tables, owned by the role; its
    // name, or an empty string with `error` set.
    QString createDatabase(QString* error = nullptr) const;
    bool dropDatabase(const QString& database) const;

    // Sets the password of the login role (see above: lock and RUN_SERIAL).
    bool setRolePassword(const QString& password) const;

    // Points unixODBC at the fixture's odbcinst.ini and odbc.ini.
    void useOdbcFiles() const;

private:
    QString host_;
    int port_ = 0;
    QString superuser_;
    QString superPassword_;
    QString database_;
    QString role_;
    QString rolePassword_;
    QString odbcSysIni_;
    QString odbcIni_;
};

// Removes the connection `name` once no handle to it is left.
void closeConnection(QSqlDatabase& db);

} // namespace qlx::test
