#include "db/sql_dialect.h"

namespace qlx {

namespace {

// The PostgreSQL driver sends a bound bytea as text, over twice its size, and
// keeps what it is given whole: large packages go to PostgreSQL in parts.
constexpr std::size_t kPostgresPart = std::size_t{8} * 1024 * 1024;

} // namespace

SqlDialect dialectOfProduct(const std::string& product) {
    SqlDialect dialect;
    if (product == "PostgreSQL") {
        dialect.blobType = "BYTEA";
        dialect.blobLength = "octet_length";
        dialect.compressesBlobs = true;
        dialect.readsBlobsInSlices = true;
        dialect.blobInsertPart = kPostgresPart;
    } else if (product == "Oracle") {
        dialect.textType = "VARCHAR2(255)";
        dialect.intType = "NUMBER(10)";
    }
    return dialect;
}

std::string uncompressedBlobStatement(const SqlDialect& dialect, const std::string& table,
                                      const std::string& column) {
    if (!dialect.compressesBlobs) {
        return {};
    }
    return "ALTER TABLE " + table + " ALTER COLUMN " + column + " SET STORAGE EXTERNAL";
}

} // namespace qlx
