#pragma once

#include "db/db_connection.h"
#include "db/odbc_support.h"

#include <vector>

namespace qlx::odbc {

// A statement of the ODBC back end. Its failures go to the connection's
// lastError() with the driver's diagnostics.
class OdbcStatement final : public DbStatement {
public:
    OdbcStatement(DbConnection& connection, SQLHSTMT statement)
        : connection_(connection), statement_(statement) {}
    ~OdbcStatement() override { SQLFreeHandle(SQL_HANDLE_STMT, statement_); }

    bool execute(const std::vector<DbParam>& params) override;
    DbStep next() override;
    bool readInteger(int column, std::optional<std::int64_t>& value) override;
    bool readText(int column, std::optional<std::string>& value) override;
    bool readBytes(int column, std::optional<Bytes>& value) override;
    bool readBytesInto(int column, Bytes& room, std::size_t& size, bool& null) override;
    [[nodiscard]] long long rowsAffected() override;

private:
    bool fail();
    bool fail(std::string text);
    bool bind(std::size_t index, const DbParam& param);
    bool sendPieces(SQLRETURN& rc);
    // Reads the BLOB's pieces after the first into `bytes`, from `offset` on.
    bool readRest(SQLUSMALLINT number, Bytes& bytes, std::size_t offset);

    DbConnection& connection_;
    SQLHSTMT statement_;
    // What the bound parameters point at, alive until the statement has run.
    std::vector<WideText> texts_;
    std::vector<SQLBIGINT> numbers_;
    std::vector<SQLLEN> lengths_;
    std::vector<DbBytes> pieces_;
};

} // namespace qlx::odbc
