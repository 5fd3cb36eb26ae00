#pragma once

#include <optional>
#include <string>

namespace qlx {

// The back end a DBMS identifier of the transaction reaches: Oracle and ODBC
// sources through ODBC, PostgreSQL through ODBC with the PostgreSQL driver,
// SQLite through SQLite's own library.
enum class DbmsKind { Oracle, Odbc, PostgreSql, Sqlite };

// The kind named by the first blank-separated word of `dbms`, compared without
// regard to case; nullopt for an identifier the updater does not know.
[[nodiscard]] std::optional<DbmsKind> dbmsKindOf(const std::string& dbms);

// The value of `name` in a DBParm text of comma-separated Name='value' items;
// nullopt when the item is absent. Names compare without regard to case.
[[nodiscard]] std::optional<std::string> dbParmValue(const std::string& dbParm,
                                                     const std::string& name);

// host[:port][/database], the PostgreSQL server name.
struct PostgresServer {
    std::string host;
    std::optional<int> port;
    std::string database;
};
// nullopt when the port is not a number in 1..65535.
[[nodiscard]] std::optional<PostgresServer> parsePostgresServer(const std::string& serverName);

} // namespace qlx
