#pragma once

#include "db/db_connection.h"

#include <memory>
#include <string>

namespace qlx {

// A connection through the system's ODBC driver manager with a full
// connection string (SQLDriverConnect, never prompting). The wide functions
// carry every text as UTF-16, so that a Unicode driver receives exactly the
// caller's UTF-8 text; text columns are read as SQL_C_WCHAR. nullptr with
// `error` set to the driver's text when the connection fails. Statements must
// be released before their connection. With `busy`, a failure also tells
// whether the server refused for want of a free connection.
std::unique_ptr<DbConnection> openOdbcConnection(const std::string& connectionString,
                                                 std::string& error, bool* busy = nullptr);

} // namespace qlx
