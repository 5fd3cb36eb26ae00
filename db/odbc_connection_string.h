#pragma once

#include "db/dbms_mapping.h"

#include <string>

namespace qlx {

// An attribute value of an ODBC connection string: as it is, or in braces
// (with "}" doubled) when it holds ";", "{" or "}" or starts or ends with a
// blank, so that no password can end its attribute or add another.
[[nodiscard]] std::string odbcAttributeValue(const std::string& value);

// The ODBC driver name that PostgreSQL server names reach: psqlODBC's Unicode
// driver.
inline constexpr const char* kPostgresOdbcDriver = "PostgreSQL Unicode";

// The connection string for an Oracle or ODBC ServerName: a full connection
// string when it holds "=", else a data source name; the login follows.
[[nodiscard]] std::string odbcConnectionString(const std::string& serverName,
                                               const std::string& user,
                                               const std::string& password);

// The connection string for a PostgreSQL server name.
[[nodiscard]] std::string postgresConnectionString(const PostgresServer& server,
                                                   const std::string& user,
                                                   const std::string& password);

} // namespace qlx
