#pragma once

#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace qlx {

// The program's one database connection and its settings, filled by the
// window's start-up checks and used by the update methods. After every
// operation SQLCode holds 0 (success), 100 (no row) or -1 (error), and
// SQLErrText the driver's text.
class Transaction {
public:
    QString DBMS;
    QString ServerName;
    QString LogId;
    QString LogPass;
    QString DBParm;
    bool AutoCommit = false;
    // The updater only reads the update database, so a SQLite file is opened
    // read-only unless this is set, as by the tool that fills the database.
    bool Writable = false;

    std::optional<long> SQLCode = 0;
    QString SQLErrText;

    Transaction();
    // Releasing the transaction ends an open connection as disconnect() does.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // CONNECT USING sqlca: opens the connection with the fields above.
    void connect();
    // DISCONNECT USING sqlca: rolls back when DBParm says CommitOnDisconnect='No'.
    void disconnect();
    [[nodiscard]] bool isConnected() const;
    // The Qt connection name of this transaction (valid while connected).
    [[nodiscard]] QString connectionName() const;
    // The open connection; an invalid handle when not connected.
    [[nodiscard]] QSqlDatabase database() const;

    // Records the outcome of an operation in SQLCode and SQLErrText.
    void setResult(long code, const QString& text = {});

private:
    // Closes and forgets the connection; rolls back an open transaction first
    // unless the caller has ended it.
    void close(bool endTransaction = true);

    QString connectionName_;
    bool connected_ = false;
};

} // namespace qlx
