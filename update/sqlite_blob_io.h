#pragma once

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace qlx {

// Reads a SQLite BLOB straight into a buffer of its final size, and writes one
// from the caller's bytes, with SQLite's incremental BLOB I/O. A statement
// would assemble the whole value in SQLite's memory besides the caller's copy,
// holding the package twice.
class SqliteBlobIo {
public:
    // False when the SQLite library under the driver cannot be reached (as with
    // a driver that carries its own copy of SQLite); callers then use a statement.
    [[nodiscard]] static bool available(const QSqlDatabase& db);

    // The BLOB of `column` in row `rowid` of `table`; nullopt with `error` set on failure.
    [[nodiscard]] static std::optional<QByteArray> read(const QSqlDatabase& db,
                                                        const QString& table, const QString& column,
                                                        qint64 rowid, QString& error);

    // Overwrites the BLOB in row `rowid` (already of `bytes`' size, e.g. from
    // zeroblob()) with `bytes`; false with `error` set on failure.
    static bool write(const QSqlDatabase& db, const QString& table, const QString& column,
                      qint64 rowid, const QByteArray& bytes, QString& error);
};

} // namespace qlx
