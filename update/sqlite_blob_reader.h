#pragma once

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace qlx {

// Reads a SQLite BLOB straight into a buffer of its final size with SQLite's
// incremental BLOB I/O. A statement would first assemble the whole value in
// SQLite's memory and then copy it, holding the package twice.
class SqliteBlobReader {
public:
    // False when the SQLite library under the driver cannot be reached (as with
    // a driver that carries its own copy of SQLite); callers then use a statement.
    [[nodiscard]] static bool available(const QSqlDatabase& db);

    // The BLOB of `column` in row `rowid` of `table`; nullopt with `error` set on failure.
    [[nodiscard]] static std::optional<QByteArray> read(const QSqlDatabase& db,
                                                        const QString& table, const QString& column,
                                                        qint64 rowid, QString& error);
};

} // namespace qlx
