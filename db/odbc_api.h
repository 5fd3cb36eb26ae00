#pragma once

// The ODBC C interface: odbc32 on Windows, unixODBC elsewhere. Windows' own
// headers must come first there; the rest of the code is the same.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
