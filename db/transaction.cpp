#include "db/transaction.h"

#include "db/db_connection.h"
#include "db/dbms_mapping.h"
#include "db/odbc_connection.h"
#include "db/odbc_connection_string.h"
#include "db/sqlite_connection.h"

#include <cctype>

namespace qlx {

namespace {

// "No" with any case and surrounding blanks.
bool isNo(const std::string& value) {
    std::size_t begin = 0;
    std::size_t end = value.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(value[begin])) != 0) {
        ++begin;
    }
    while (end > begin && std::isspace(static_cast<unsigned char>(value[end - 1])) != 0) {
        --end;
    }
    return end - begin == 2 && (value[begin] == 'N' || value[begin] == 'n') &&
           (value[begin + 1] == 'O' || value[begin + 1] == 'o');
}

} // namespace

Transaction::Transaction() = default;

Transaction::~Transaction() {
    if (connection_) {
        close();
    }
}

DbConnection* Transaction::connection() const {
    return connection_.get();
}

bool Transaction::isConnected() const {
    return connection_ != nullptr;
}

void Transaction::setResult(long code, const std::string& text) {
    SQLCode = code;
    SQLErrText = text;
}

void Transaction::connect() {
    if (connection_) {
        close();
    }
    ServerBusy = false;
    const std::optional<DbmsKind> kind = dbmsKindOf(DBMS);
    if (!kind) {
        setResult(-1, "Unknown DBMS identifier \"" + DBMS + "\"");
        return;
    }
    std::string error;
    std::unique_ptr<DbConnection> connection;
    switch (*kind) {
    case DbmsKind::Sqlite:
        // The file is never created: an empty database would look like a
        // reachable one without packages.
        connection = SqliteConnection::open(
            ServerName, Writable ? SqliteOpen::ReadWrite : SqliteOpen::ReadOnly, error);
        break;
    case DbmsKind::PostgreSql: {
        const std::optional<PostgresServer> server = parsePostgresServer(ServerName);
        if (!server) {
            setResult(-1, "The server name \"" + ServerName + "\" is not host[:port][/database]");
            return;
        }
        connection = openOdbcConnection(postgresConnectionString(*server, LogId, LogPass), error,
                                        &ServerBusy);
        break;
    }
    case DbmsKind::Oracle:
    case DbmsKind::Odbc:
        connection = openOdbcConnection(odbcConnectionString(ServerName, LogId, LogPass), error,
                                        &ServerBusy);
        break;
    }
    if (!connection) {
        setResult(-1, error.empty() ? std::string("The connection failed") : error);
        return;
    }
    if (!AutoCommit && !connection->begin()) {
        setResult(-1, connection->lastError());
        return;
    }
    connection_ = std::move(connection);
    setResult(0);
}

void Transaction::disconnect() {
    if (!connection_) {
        setResult(-1, "The transaction is not connected");
        return;
    }
    std::string failure;
    if (connection_->inTransaction()) {
        const std::optional<std::string> commit = dbParmValue(DBParm, "CommitOnDisconnect");
        const bool rollback = commit && isNo(*commit);
        const bool ended = rollback ? connection_->rollback() : connection_->commit();
        if (!ended) {
            failure = connection_->lastError();
        }
    }
    close(false);
    setResult(failure.empty() ? 0 : -1, failure);
}

void Transaction::close(bool endTransaction) {
    if (endTransaction && connection_->inTransaction()) {
        connection_->rollback();
    }
    connection_.reset();
}

} // namespace qlx
