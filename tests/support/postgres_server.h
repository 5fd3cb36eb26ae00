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
//   qlx_add_test(my_test SERIAL SOURCES ... LIBS qlx_db qlx_test_postgres
//                FIXTURES postgres LOCKS postgres_role)
// Tests that write the ODBC data sources QLX_SQLITE / QLX_PG hold
// RESOURCE_LOCK odbc_dsn.

#include "db/db_connection.h"

#include <memory>
#include <optional>
#include <string>

namespace qlx::test {

class PostgresServer {
public:
    // The fixture's env file: QLX_TEST_SERVERS_DIR (environment, else the
    // build tree's test-servers folder) + "/postgres.env". It also points
    // unixODBC at the fixture's odbcinst.ini and odbc.ini (useOdbcFiles), where
    // the updater's PostgreSQL driver name is registered. nullopt with `error`
    // set when the fixture has not run.
    static std::optional<PostgresServer> fromEnvFile(std::string* error = nullptr);

    [[nodiscard]] std::string host() const { return host_; }
    [[nodiscard]] int port() const { return port_; }
    [[nodiscard]] std::string role() const { return role_; }
    [[nodiscard]] std::string rolePassword() const { return rolePassword_; }
    // The database the fixture made for the role.
    [[nodiscard]] std::string defaultDatabase() const { return database_; }

    // "host:port/database", the transaction's ServerName for PostgreSQL.
    [[nodiscard]] std::string serverName(const std::string& database) const;

    // A connection to `database` as the superuser, or as the login role;
    // autocommitting. nullptr with `error` set when it fails.
    [[nodiscard]] std::unique_ptr<DbConnection> superuser(const std::string& database,
                                                          std::string& error) const;
    [[nodiscard]] std::unique_ptr<DbConnection> asRole(const std::string& database,
                                                       std::string& error) const;

    // A new, empty database with the update tables, owned by the role; its
    // name, or an empty string with `error` set.
    std::string createDatabase(std::string* error = nullptr) const;
    bool dropDatabase(const std::string& database) const;

    // Sets the password of the login role (see above: lock and RUN_SERIAL).
    bool setRolePassword(const std::string& password) const;

    // Points unixODBC at the fixture's odbcinst.ini and odbc.ini.
    void useOdbcFiles() const;

private:
    std::string host_;
    int port_ = 0;
    std::string superuser_;
    std::string superPassword_;
    std::string database_;
    std::string role_;
    std::string rolePassword_;
    std::string odbcSysIni_;
    std::string odbcIni_;
};

} // namespace qlx::test
