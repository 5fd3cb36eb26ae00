#include "db/odbc_connection.h"

#include "db/odbc_api.h"
#include "platform/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace qlx {

namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide ODBC functions take UTF-16");

using WideText = std::basic_string<SQLWCHAR>;

WideText wide(const std::string& text) {
    const std::u16string units = utf8ToUtf16(text);
    return {units.begin(), units.end()};
}

std::string narrow(const SQLWCHAR* text, std::size_t length) {
    return utf16ToUtf8(std::u16string(text, text + length));
}

// Values are handed over in pieces of this size: the driver never needs a
// buffer of its own for more.
constexpr std::size_t kPiece = std::size_t{1024} * 1024;

bool succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// Every diagnostic record's message, in order, each once.
std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    for (SQLSMALLINT record = 1; record < 20; ++record) {
        std::array<SQLWCHAR, 6> state{};
        SQLINTEGER native = 0;
        std::array<SQLWCHAR, 2048> message{};
        SQLSMALLINT length = 0;
        const SQLRETURN rc =
            SQLGetDiagRecW(type, handle, record, state.data(), &native, message.data(),
                           static_cast<SQLSMALLINT>(message.size()), &length);
        if (!succeeded(rc)) {
            break;
        }
        const auto units = std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                    message.size() - 1);
        std::string line = narrow(message.data(), units);
        while (!line.empty() &&
               (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (!line.empty() && text.find(line) == std::string::npos) {
            text += text.empty() ? line : "\n" + line;
        }
    }
    return text.empty() ? std::string("The ODBC call failed without a message") : text;
}

class OdbcConnection;

class OdbcStatement final : public DbStatement {
public:
    OdbcStatement(OdbcConnection& connection, SQLHSTMT statement)
        : connection_(connection), statement_(statement) {}
    ~OdbcStatement() override { SQLFreeHandle(SQL_HANDLE_STMT, statement_); }

    bool execute(const std::vector<DbParam>& params) override;
    DbStep next() override;
    bool readInteger(int column, std::optional<std::int64_t>& value) override;
    bool readText(int column, std::optional<std::string>& value) override;
    bool readBytes(int column, std::optional<Bytes>& value) override;
    [[nodiscard]] long long rowsAffected() override;

private:
    bool fail();
    bool fail(std::string text);
    bool bind(std::size_t index, const DbParam& param);
    bool sendPieces(SQLRETURN& rc);

    OdbcConnection& connection_;
    SQLHSTMT statement_;
    // What the bound parameters point at, alive until the statement has run.
    std::vector<WideText> texts_;
    std::vector<SQLBIGINT> numbers_;
    std::vector<SQLLEN> lengths_;
    std::vector<DbBytes> pieces_;
};

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
    }
    ~OdbcConnection() override {
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
    bool inTransaction_ = false;
};

bool OdbcStatement::fail() {
    return connection_.failOn(statement_);
}

bool OdbcStatement::fail(std::string text) {
    connection_.setLastError(std::move(text));
    return false;
}

bool OdbcStatement::bind(std::size_t index, const DbParam& param) {
    const auto number = static_cast<SQLUSMALLINT>(index + 1);
    SQLLEN& length = lengths_[index];
    SQLRETURN rc = SQL_SUCCESS;
    if (std::holds_alternative<DbNull>(param)) {
        length = SQL_NULL_DATA;
        rc = SQLBindParameter(statement_, number, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                              1, 0, nullptr, 0, &length);
    } else if (const auto* integer = std::get_if<std::int64_t>(&param)) {
        numbers_[index] = static_cast<SQLBIGINT>(*integer);
        length = 0;
        rc = SQLBindParameter(statement_, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                              &numbers_[index], 0, &length);
    } else if (const auto* text = std::get_if<std::string>(&param)) {
        texts_[index] = wide(*text);
        WideText& units = texts_[index];
        length = static_cast<SQLLEN>(units.size() * sizeof(SQLWCHAR));
        rc = SQLBindParameter(statement_, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                              std::max<SQLULEN>(units.size(), 1), 0, units.data(), length, &length);
    } else {
        const auto& bytes = std::get<DbBytes>(param);
        static char empty = 0;
        if (bytes.size <= kPiece) {
            length = static_cast<SQLLEN>(bytes.size);
            auto* data = bytes.size == 0 ? &empty : const_cast<char*>(bytes.data);
            rc = SQLBindParameter(statement_, number, SQL_PARAM_INPUT, SQL_C_BINARY,
                                  SQL_LONGVARBINARY, std::max<SQLULEN>(bytes.size, 1), 0, data,
                                  length, &length);
        } else {
            // Large values go at execution, piece by piece (sendPieces).
            pieces_[index] = bytes;
            length = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(bytes.size));
            rc = SQLBindParameter(statement_, number, SQL_PARAM_INPUT, SQL_C_BINARY,
                                  SQL_LONGVARBINARY, bytes.size, 0, &pieces_[index], 0, &length);
        }
    }
    return succeeded(rc) || fail();
}

bool OdbcStatement::sendPieces(SQLRETURN& rc) {
    while (rc == SQL_NEED_DATA) {
        SQLPOINTER token = nullptr;
        rc = SQLParamData(statement_, &token);
        if (rc != SQL_NEED_DATA) {
            break;
        }
        const auto* bytes = static_cast<const DbBytes*>(token);
        for (std::size_t offset = 0; offset < bytes->size; offset += kPiece) {
            const std::size_t size = std::min(kPiece, bytes->size - offset);
            if (!succeeded(SQLPutData(statement_, const_cast<char*>(bytes->data + offset),
                                      static_cast<SQLLEN>(size)))) {
                fail();
                SQLCancel(statement_);
                return false;
            }
        }
    }
    return true;
}

bool OdbcStatement::execute(const std::vector<DbParam>& params) {
    SQLFreeStmt(statement_, SQL_CLOSE);
    SQLFreeStmt(statement_, SQL_RESET_PARAMS);
    texts_.assign(params.size(), WideText());
    numbers_.assign(params.size(), 0);
    lengths_.assign(params.size(), 0);
    pieces_.assign(params.size(), DbBytes());
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (!bind(i, params[i])) {
            return false;
        }
    }
    SQLRETURN rc = SQLExecute(statement_);
    if (!sendPieces(rc)) {
        return false;
    }
    // A searched UPDATE or DELETE that meets no row reports SQL_NO_DATA.
    return succeeded(rc) || rc == SQL_NO_DATA || fail();
}

DbStep OdbcStatement::next() {
    const SQLRETURN rc = SQLFetch(statement_);
    if (rc == SQL_NO_DATA) {
        return DbStep::Done;
    }
    if (!succeeded(rc)) {
        fail();
        return DbStep::Error;
    }
    return DbStep::Row;
}

bool OdbcStatement::readInteger(int column, std::optional<std::int64_t>& value) {
    SQLBIGINT number = 0;
    SQLLEN indicator = 0;
    if (!succeeded(SQLGetData(statement_, static_cast<SQLUSMALLINT>(column + 1), SQL_C_SBIGINT,
                              &number, sizeof number, &indicator))) {
        return fail();
    }
    if (indicator == SQL_NULL_DATA) {
        value.reset();
    } else {
        value = static_cast<std::int64_t>(number);
    }
    return true;
}

bool OdbcStatement::readText(int column, std::optional<std::string>& value) {
    std::u16string units;
    std::array<SQLWCHAR, 1024> buffer{};
    const std::size_t capacity = buffer.size() - 1; // the driver ends each piece with a 0
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(
            statement_, static_cast<SQLUSMALLINT>(column + 1), SQL_C_WCHAR, buffer.data(),
            static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR)), &indicator);
        if (rc == SQL_NO_DATA) {
            break;
        }
        if (!succeeded(rc)) {
            return fail();
        }
        if (indicator == SQL_NULL_DATA) {
            value.reset();
            return true;
        }
        const bool whole = indicator != SQL_NO_TOTAL &&
                           static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR) <= capacity;
        const std::size_t count =
            whole ? static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR) : capacity;
        units.append(buffer.data(), buffer.data() + count);
        if (whole) {
            break;
        }
    }
    value = utf16ToUtf8(units);
    return true;
}

bool OdbcStatement::readBytes(int column, std::optional<Bytes>& value) {
    const auto number = static_cast<SQLUSMALLINT>(column + 1);
    // The first piece tells the whole length; the rest goes straight into a
    // buffer of that size.
    std::vector<char> first(std::size_t{64} * 1024);
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(statement_, number, SQL_C_BINARY, first.data(),
                              static_cast<SQLLEN>(first.size()), &indicator);
    if (rc == SQL_NO_DATA) {
        value = Bytes();
        return true;
    }
    if (!succeeded(rc)) {
        return fail();
    }
    if (indicator == SQL_NULL_DATA) {
        value.reset();
        return true;
    }
    if (indicator == SQL_NO_TOTAL) {
        return fail("The ODBC driver does not tell the length of the BLOB");
    }
    const auto total = static_cast<std::size_t>(indicator);
    if (total <= first.size()) {
        first.resize(total);
        value = std::move(first);
        return true;
    }
    Bytes bytes(total);
    std::memcpy(bytes.data(), first.data(), first.size());
    std::size_t offset = first.size();
    first = std::vector<char>();
    while (offset < total) {
        const std::size_t size = std::min(kPiece, total - offset);
        rc = SQLGetData(statement_, number, SQL_C_BINARY, bytes.data() + offset,
                        static_cast<SQLLEN>(size), &indicator);
        if (rc == SQL_NO_DATA) {
            return fail("The BLOB ended before its length");
        }
        if (!succeeded(rc)) {
            return fail();
        }
        // Each piece reports what was left before it.
        if (indicator != SQL_NO_TOTAL && indicator != static_cast<SQLLEN>(total - offset)) {
            return fail("The BLOB's length changed while it was read");
        }
        offset += size;
    }
    value = std::move(bytes);
    return true;
}

long long OdbcStatement::rowsAffected() {
    SQLLEN rows = 0;
    if (!succeeded(SQLRowCount(statement_, &rows))) {
        return -1;
    }
    return static_cast<long long>(rows);
}

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
                                                 std::string& error) {
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
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        return nullptr;
    }
    return std::make_unique<OdbcConnection>(env, dbc);
}

} // namespace qlx
