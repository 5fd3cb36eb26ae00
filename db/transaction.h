#pragma once

#include <memory>
#include <optional>
#include <string>

namespace qlx {

class DbConnection;

// The program's one database connection and its settings, filled by the
// window's start-up checks and used by the update methods. After every
// operation SQLCode holds 0 (success), 100 (no row) or -1 (error), and
// SQLErrText the driver's text. Text is UTF-8.
class Transaction {
public:
    std::string DBMS;
    std::string ServerName;
    std::string LogId;
    std::string LogPass;
    std::string DBParm;
    bool AutoCommit = false;
    // The updater only reads the update database, so a SQLite file is opened
    // read-only unless this is set, as by the tool that fills the database.
    bool Writable = false;

    std::optional<long> SQLCode = 0;
    std::string SQLErrText;
    // After a connect that failed: the server refused for want of a free
    // connection, which waiting may cure.
    bool ServerBusy = false;

    Transaction();
    // Releasing the transaction ends an open connection as disconnect() does.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // CONNECT USING sqlca: opens the connection with the fields above. With
    // AutoCommit false a transaction is open from here to the disconnect.
    void connect();
    // DISCONNECT USING sqlca: rolls back when DBParm says
    // CommitOnDisconnect='No', commits otherwise.
    void disconnect();
    [[nodiscard]] bool isConnected() const;
    // The open connection; nullptr when not connected.
    [[nodiscard]] DbConnection* connection() const;

    // Records the outcome of an operation in SQLCode and SQLErrText.
    void setResult(long code, const std::string& text = {});

private:
    // Closes and forgets the connection; rolls back an open transaction first
    // unless the caller has ended it.
    void close(bool endTransaction = true);

    std::unique_ptr<DbConnection> connection_;
};

} // namespace qlx
