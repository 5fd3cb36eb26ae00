#include "db/odbc_connection.h"

#include "db/blob_rows.h"
#include "db/blob_slices.h"
#include "db/busy_refusal.h"
#include "db/odbc_statement.h"
#include "db/sql_dialect.h"

#include <algorithm>
#include <array>

namespace qlx {

using namespace odbc;

namespace {

class OdbcConnection final : public DbConnection {
public:
    OdbcConnection(SQLHENV env, SQLHDBC dbc) : env_(env), dbc_(dbc) {
        std::array<SQLWCHAR, 256> name{};
        SQLSMALLINT bytes = 0;
        if (succeeded(SQLGetInfoW(dbc_, SQL_DBMS_NAME, name.data(),
                                  static_cast<SQLSMALLINT>(name.size() * sizeof(SQLWCHAR)),
                                  &bytes))) {
            product_ =
                narrow(name.data(), std::min(static_cast<std::size_t>(bytes) / sizeof(SQLWCHAR),
                                             name.size() - 1));
        }
        dialect_ = dialectOfProduct(product_);
    }
    ~OdbcConnection() override {
        kept_.clear();
        // Some drivers refuse to disconnect inside a transaction.
        if (inTransaction_) {
            SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
        }
        SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }

    [[nodiscard]] DbBackend backend() const override { return DbBackend::Odbc; }
    [[nodiscard]] std::string productName() const override { return product_; }
    [[nodiscard]] const SqlDialect& dialect() const override { return dialect_; }

    BlobRead readBlob(const BlobSelect& select) override {
        return dialect_.readsBlobsInSlices ? readBlobInSlices(*this, kept_, select)
                                           : readBlobInPieces(*this, select);
    }

    BlobStream streamBlob(const BlobSelect& select, const BlobSink& sink) override {
        return dialect_.readsBlobsInSlices ? streamBlobInSlices(*this, kept_, select, sink)
                                           : streamBlobWhole(*this, select, sink);
    }

    bool insertBlobRow(const BlobRow& row, std::string& error) override {
        const std::size_t part = dialect_.blobInsertPart;
        if (part > 0 && *row.bytes && (*row.bytes)->size() > part) {
            return insertBlobInParts(*this, row, part, error);
        }
        return insertBlobBound(*this, row, error);
    }

    std::unique_ptr<DbStatement> prepare(const std::string& sql) override {
        SQLHSTMT statement = SQL_NULL_HSTMT;
        if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &statement))) {
            setLastError(diagnostics(SQL_HANDLE_DBC, dbc_));
            return nullptr;
        }
        WideText text = wide(sql);
        if (!succeeded(SQLPrepareW(statement, text.data(), static_cast<SQLINTEGER>(text.size())))) {
            setLastError(diagnostics(SQL_HANDLE_STMT, statement));
            SQLFreeHandle(SQL_HANDLE_STMT, statement);
            return nullptr;
        }
        return std::make_unique<OdbcStatement>(*this, statement);
    }

    bool begin() override {
        if (!setAutoCommit(false)) {
            return false;
        }
        inTransaction_ = true;
        return true;
    }
    bool commit() override { return end(SQL_COMMIT); }
    bool rollback() override { return end(SQL_ROLLBACK); }
    [[nodiscard]] bool inTransaction() const override { return inTransaction_; }

    std::optional<bool> hasTable(const std::string& name) override;

    bool failOn(SQLHSTMT statement) {
        setLastError(diagnostics(SQL_HANDLE_STMT, statement));
        return false;
    }

private:
    bool setAutoCommit(bool on) {
        const auto value = static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
        // ODBC passes an integer attribute in the pointer argument itself.
        if (!succeeded(SQLSetConnectAttrW(
                dbc_, SQL_ATTR_AUTOCOMMIT,
                reinterpret_cast<SQLPOINTER>(value), // NOLINT(performance-no-int-to-ptr)
                SQL_IS_UINTEGER))) {
            setLastError(diagnostics(SQL_HANDLE_DBC, dbc_));
            return false;
        }
        return true;
    }
    bool end(SQLSMALLINT completion) {
        if (!inTransaction_) {
            setLastError("No transaction is open");
            return false;
        }
        if (!succeeded(SQLEndTran(SQL_HANDLE_DBC, dbc_, completion))) {
            setLastError(diagnostics(SQL_HANDLE_DBC, dbc_));
            return false;
        }
        inTransaction_ = false;
        return setAutoCommit(true);
    }

    SQLHENV env_;
    SQLHDBC dbc_;
    std::string product_;
    SqlDialect dialect_;
    bool inTransaction_ = false;
    KeptStatements kept_;
};

std::optional<bool> OdbcConnection::hasTable(const std::string& name) {
    SQLHSTMT statement = SQL_NULL_HSTMT;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &statement))) {
        setLastError(diagnostics(SQL_HANDLE_DBC, dbc_));
        return std::nullopt;
    }
    const auto lower = [](std::string s) {
        for (char& c : s) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return s;
    };
    const std::string wanted = lower(name);
    WideText type = wide("TABLE");
    std::optional<bool> found;
    if (succeeded(SQLTablesW(statement, nullptr, 0, nullptr, 0, nullptr, 0, type.data(),
                             static_cast<SQLSMALLINT>(type.size())))) {
        found = false;
        OdbcStatement rows(*this, statement);
        statement = SQL_NULL_HSTMT; // the rows own it now
        for (DbStep step = rows.next(); step != DbStep::Done; step = rows.next()) {
            std::optional<std::string> table;
            if (step == DbStep::Error || !rows.readText(2, table)) {
                return std::nullopt;
            }
            if (table && lower(*table) == wanted) {
                return true;
            }
        }
    } else {
        failOn(statement);
        SQLFreeHandle(SQL_HANDLE_STMT, statement);
    }
    return found;
}

} // namespace

std::unique_ptr<DbConnection> openOdbcConnection(const std::string& connectionString,
                                                 std::string& error, bool* busy) {
    SQLHENV env = SQL_NULL_HENV;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
        error = "The ODBC driver manager cannot be used";
        return nullptr;
    }
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        error = diagnostics(SQL_HANDLE_ENV, env);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        return nullptr;
    }
    WideText text = wide(connectionString);
    std::array<SQLWCHAR, 1024> completed{};
    SQLSMALLINT completedLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(
        dbc, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()), completed.data(),
        static_cast<SQLSMALLINT>(completed.size()), &completedLength, SQL_DRIVER_NOPROMPT);
    if (!succeeded(rc)) {
        error = diagnostics(SQL_HANDLE_DBC, dbc);
        if (busy != nullptr) {
            *busy = isBusyRefusal(diagnosticStates(SQL_HANDLE_DBC, dbc), error);
        }
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        return nullptr;
    }
    return std::make_unique<OdbcConnection>(env, dbc);
}

} // namespace qlx
