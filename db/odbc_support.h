#pragma once

// What the ODBC back end's connection and statements share: the wide text
// of the W functions and the driver's diagnostics.

#include "db/odbc_api.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qlx::odbc {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide ODBC functions take UTF-16");

using WideText = std::basic_string<SQLWCHAR>;

[[nodiscard]] WideText wide(const std::string& text);
[[nodiscard]] std::string narrow(const SQLWCHAR* text, std::size_t length);

// Values are handed over in pieces of this size: the driver never needs a
// buffer of its own for more.
inline constexpr std::size_t kPiece = std::size_t{1024} * 1024;

[[nodiscard]] inline bool succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// Every diagnostic record's message, in order, each once.
[[nodiscard]] std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle);
// Every diagnostic record's SQLSTATE, in order.
[[nodiscard]] std::vector<std::string> diagnosticStates(SQLSMALLINT type, SQLHANDLE handle);

} // namespace qlx::odbc
