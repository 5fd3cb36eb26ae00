#include "update/blob_fetch.h"

#include "update/sqlite_blob_io.h"
#include "update/transaction.h"

#include <QSqlError>
#include <QSqlQuery>

#include <cstring>

namespace qlx {

namespace {

QString errorText(const QSqlError& error) {
    const QString database = error.databaseText().trimmed();
    return database.isEmpty() ? error.text().trimmed() : database;
}

// How a driver is asked for a part of a BLOB. Drivers without one fetch the
// whole value in one statement.
struct SliceDialect {
    QString length; // "octet_length(%1)"
    QString slice;  // "substring(%1 from ? for ?)"
};

std::optional<SliceDialect> sliceDialectOf(const QString& driverName) {
    // libpq returns bytea as hex text, which the driver decodes into another
    // copy: one statement for the whole value needs about eight times its size.
    if (driverName == QLatin1String("QPSQL")) {
        return SliceDialect{QStringLiteral("octet_length(%1)"),
                            QStringLiteral("substring(%1 from ? for ?)")};
    }
    return std::nullopt;
}

// SQLite: the row is found with a statement, its BLOB read in place.
void selectSqliteInPlace(Transaction& transaction, QSqlQuery& query, const QString& table,
                         const QString& blobColumn, const QString& keyColumn, const QString& key,
                         std::optional<QByteArray>& buffer) {
    query.prepare(QLatin1String("SELECT rowid, ") + blobColumn + QLatin1String(" IS NULL FROM ") +
                  table + QLatin1String(" WHERE ") + keyColumn + QLatin1String(" = ?"));
    query.addBindValue(key);
    if (!query.exec()) {
        transaction.setResult(-1, errorText(query.lastError()));
        return;
    }
    if (!query.next()) {
        transaction.setResult(100);
        return;
    }
    const qint64 rowid = query.value(0).toLongLong();
    const bool isNull = query.value(1).toLongLong() != 0;
    if (query.next()) {
        transaction.setResult(-1, QStringLiteral("The select returned more than one row"));
        return;
    }
    query.finish();
    if (isNull) {
        buffer = std::nullopt;
        transaction.setResult(0);
        return;
    }
    QString error;
    std::optional<QByteArray> bytes =
        SqliteBlobIo::read(transaction.database(), table, blobColumn, rowid, error);
    if (!bytes) {
        transaction.setResult(-1, error);
        return;
    }
    buffer = std::move(bytes);
    transaction.setResult(0);
}

void selectWhole(Transaction& transaction, QSqlQuery& query, const QString& selectText,
                 const QString& key, std::optional<QByteArray>& buffer) {
    query.prepare(selectText);
    query.addBindValue(key);
    if (!query.exec()) {
        transaction.setResult(-1, errorText(query.lastError()));
        return;
    }
    if (!query.next()) {
        transaction.setResult(100);
        return;
    }
    QVariant value = query.value(0);
    if (query.next()) {
        transaction.setResult(-1, QStringLiteral("The select returned more than one row"));
        return;
    }
    if (value.isNull()) {
        buffer = std::nullopt;
    } else {
        buffer = value.toByteArray();
    }
    transaction.setResult(0);
}

void selectInSlices(Transaction& transaction, QSqlQuery& query, const SliceDialect& dialect,
                    const QString& table, const QString& blobColumn, const QString& keyColumn,
                    const QString& key, std::optional<QByteArray>& buffer) {
    const QString where = QLatin1String(" FROM ") + table + QLatin1String(" WHERE ") + keyColumn +
                          QLatin1String(" = ?");
    query.prepare(QLatin1String("SELECT ") + dialect.length.arg(blobColumn) + where);
    query.addBindValue(key);
    if (!query.exec()) {
        transaction.setResult(-1, errorText(query.lastError()));
        return;
    }
    if (!query.next()) {
        transaction.setResult(100);
        return;
    }
    const QVariant lengthValue = query.value(0);
    if (query.next()) {
        transaction.setResult(-1, QStringLiteral("The select returned more than one row"));
        return;
    }
    query.finish();
    if (lengthValue.isNull()) {
        buffer = std::nullopt;
        transaction.setResult(0);
        return;
    }
    const qint64 length = lengthValue.toLongLong();

    // One buffer of the final size; every slice is copied into it and dropped.
    QByteArray bytes(static_cast<qsizetype>(length), Qt::Uninitialized);
    query.prepare(QLatin1String("SELECT ") + dialect.slice.arg(blobColumn) + where);
    for (qint64 offset = 0; offset < length; offset += kBlobSliceBytes) {
        const qint64 wanted = std::min(kBlobSliceBytes, length - offset);
        query.addBindValue(offset + 1);
        query.addBindValue(wanted);
        query.addBindValue(key);
        if (!query.exec()) {
            transaction.setResult(-1, errorText(query.lastError()));
            return;
        }
        if (!query.next()) {
            transaction.setResult(-1, QStringLiteral("The row went away while it was read"));
            return;
        }
        const QByteArray slice = query.value(0).toByteArray();
        if (slice.size() != wanted) {
            transaction.setResult(-1, QStringLiteral("The BLOB changed while it was read"));
            return;
        }
        std::memcpy(bytes.data() + offset, slice.constData(), static_cast<size_t>(wanted));
        query.finish();
    }
    buffer = std::move(bytes);
    transaction.setResult(0);
}

} // namespace

bool isPlainIdentifier(const QString& name) {
    if (name.isEmpty() || name.front().isDigit()) {
        return false;
    }
    for (const QChar c : name) {
        const bool ascii = c.unicode() < 128 && (c.isLetterOrNumber() || c == u'_');
        if (!ascii) {
            return false;
        }
    }
    return true;
}

void selectSingleBlob(Transaction& transaction, const QString& table, const QString& blobColumn,
                      const QString& keyColumn, const QString& key,
                      std::optional<QByteArray>& buffer) {
    if (!transaction.isConnected()) {
        transaction.setResult(-1, QStringLiteral("The transaction is not connected"));
        return;
    }
    if (!isPlainIdentifier(table) || !isPlainIdentifier(blobColumn) ||
        !isPlainIdentifier(keyColumn)) {
        transaction.setResult(-1, QLatin1String("Not a table or column name: ") + table);
        return;
    }
    QSqlDatabase db = transaction.database();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (SqliteBlobIo::available(db)) {
        selectSqliteInPlace(transaction, query, table, blobColumn, keyColumn, key, buffer);
        return;
    }
    if (const std::optional<SliceDialect> dialect = sliceDialectOf(db.driverName())) {
        selectInSlices(transaction, query, *dialect, table, blobColumn, keyColumn, key, buffer);
        return;
    }
    selectWhole(transaction, query,
                QLatin1String("SELECT ") + blobColumn + QLatin1String(" FROM ") + table +
                    QLatin1String(" WHERE ") + keyColumn + QLatin1String(" = ?"),
                key, buffer);
}

} // namespace qlx
