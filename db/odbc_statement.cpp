#include "db/odbc_statement.h"

#include "platform/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace qlx::odbc {

bool OdbcStatement::fail() {
    connection_.setLastError(diagnostics(SQL_HANDLE_STMT, statement_));
    return false;
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
    const SQLRETURN rc = SQLGetData(statement_, number, SQL_C_BINARY, first.data(),
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
    const std::size_t offset = first.size();
    first = std::vector<char>();
    if (!readRest(number, bytes, offset)) {
        return false;
    }
    value = std::move(bytes);
    return true;
}

bool OdbcStatement::readRest(SQLUSMALLINT number, Bytes& bytes, std::size_t offset) {
    const std::size_t total = bytes.size();
    while (offset < total) {
        const std::size_t size = std::min(kPiece, total - offset);
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(statement_, number, SQL_C_BINARY, bytes.data() + offset,
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
    return true;
}

bool OdbcStatement::readBytesInto(int column, Bytes& room, std::size_t& size, bool& null) {
    const auto number = static_cast<SQLUSMALLINT>(column + 1);
    size = 0;
    null = false;
    for (;;) {
        // A value counts as whole only when a byte of room is left over, where
        // a driver that ends text with a zero could have put it.
        if (room.size() - size < 2) {
            room.resize(std::max(room.size() * 2, size + kPiece));
        }
        const std::size_t left = room.size() - size;
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(statement_, number, SQL_C_BINARY, room.data() + size,
                                        static_cast<SQLLEN>(left), &indicator);
        if (rc == SQL_NO_DATA) {
            return true;
        }
        if (!succeeded(rc)) {
            return fail();
        }
        if (indicator == SQL_NULL_DATA) {
            null = true;
            return true;
        }
        if (indicator != SQL_NO_TOTAL && static_cast<std::size_t>(indicator) < left) {
            size += static_cast<std::size_t>(indicator);
            return true;
        }
        size += left;
        if (indicator != SQL_NO_TOTAL) {
            const auto rest = static_cast<std::size_t>(indicator) - left;
            room.resize(std::max(room.size(), size + rest + 2));
        }
    }
}

long long OdbcStatement::rowsAffected() {
    SQLLEN rows = 0;
    if (!succeeded(SQLRowCount(statement_, &rows))) {
        return -1;
    }
    return static_cast<long long>(rows);
}

} // namespace qlx::odbc
