#pragma once

#include <QString>

#include <optional>

namespace qlx {

// How a DBMS identifier of the transaction reaches a Qt SQL driver.
enum class DbmsKind { Oracle, Odbc, PostgreSql, Sqlite };

// The kind named by the first blank-separated word of `dbms`, compared without
// regard to case; nullopt for an identifier the updater does not know.
[[nodiscard]] std::optional<DbmsKind> dbmsKindOf(const QString& dbms);

// The value of `name` in a DBParm text of comma-separated Name='value' items;
// nullopt when the item is absent. Names compare without regard to case.
[[nodiscard]] std::optional<QString> dbParmValue(const QString& dbParm, const QString& name);

// host[:port][/database], the PostgreSQL server name.
struct PostgresServer {
    QString host;
    std::optional<int> port;
    QString database;
};
// nullopt when the port is not a number in 1..65535.
[[nodiscard]] std::optional<PostgresServer> parsePostgresServer(const QString& serverName);

} // namespace qlx
