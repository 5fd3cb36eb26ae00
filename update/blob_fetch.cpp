#include "update/blob_fetch.h"

#include "update/sqlite_blob_io.h"
#include "update/transaction.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <cstring>
#include <vector>

namespace qlx {

namespace {

QString errorText(const QSqlError& error) {
    const QString database = error.databaseText().trimmed();
    return database.isEmpty() ? error.text().trimmed() : database;
}

// How a driver is asked for a BLOB in slices. Drivers without a dialect fetch
// the whole value in one statement.
struct SliceDialect {
    // Run once before the slices when `sessionProbe` returns a non-zero count:
    // a failing statement would end an open transaction block.
    QString sessionProbe;
    QString session;
    QString length; // the BLOB's length in bytes, NULL for a NULL BLOB
    // One row per slice: its 1-based offset and its bytes, for the bound slice
    // size, BLOB length and slice size again, and key.
    QString slices;
};

std::optional<SliceDialect> sliceDialectOf(const QString& driverName) {
    // libpq returns bytea as text, which the driver decodes into another copy:
    // one row with the whole value needs several times its size. The driver
    // asks for the escape form, about three characters a byte for a zip
    // archive; the hex form is two, and cheaper to make and to decode.
    // One statement returns every slice as its own row, so the server encodes
    // the next slice while this side decodes the last one (the driver streams
    // the rows of a forward-only query one at a time).
    if (driverName == QLatin1String("QPSQL")) {
        return SliceDialect{
            QStringLiteral("SELECT count(*) FROM pg_settings WHERE name = 'bytea_output'"),
            QStringLiteral("SET bytea_output TO hex"),
            QStringLiteral("SELECT octet_length(%1) FROM %2%3"),
            QStringLiteral("SELECT s, substring(%1 from s::integer for ?) FROM %2, "
                           "generate_series(1::bigint, ?, ?) AS s%3")};
    }
    return std::nullopt;
}

// " WHERE A = ? AND B = ?" for the key columns.
QString whereClause(const std::vector<BlobKey>& keys) {
    QString clause;
    for (const auto& key : keys) {
        clause += (clause.isEmpty() ? QLatin1String(" WHERE ") : QLatin1String(" AND ")) +
                  key.column + QLatin1String(" = ?");
    }
    return clause;
}

void bindKeys(QSqlQuery& query, const std::vector<BlobKey>& keys) {
    for (const auto& key : keys) {
        query.addBindValue(key.value);
    }
}

// Runs `statement` with the keys bound and returns the values of its one row.
// Without exactly one row, SQLCode tells why (100 none, -1 an error or more
// than one) and there is no result.
std::optional<QVariantList> selectOneRow(Transaction& transaction, QSqlQuery& query,
                                         const QString& statement,
                                         const std::vector<BlobKey>& keys) {
    query.prepare(statement);
    bindKeys(query, keys);
    if (!query.exec()) {
        transaction.setResult(-1, errorText(query.lastError()));
        return std::nullopt;
    }
    if (!query.next()) {
        transaction.setResult(100);
        return std::nullopt;
    }
    QVariantList row;
    for (int column = 0; column < query.record().count(); ++column) {
        row.push_back(query.value(column));
    }
    if (query.next()) {
        transaction.setResult(-1, QStringLiteral("The select returned more than one row"));
        return std::nullopt;
    }
    query.finish();
    return row;
}

// SQLite: the row is found with a statement, its BLOB read in place.
void selectSqliteInPlace(Transaction& transaction, QSqlQuery& query, const QString& table,
                         const QString& blobColumn, const std::vector<BlobKey>& keys,
                         std::optional<QByteArray>& buffer) {
    const std::optional<QVariantList> row =
        selectOneRow(transaction, query,
                     QLatin1String("SELECT rowid, ") + blobColumn +
                         QLatin1String(" IS NULL FROM ") + table + whereClause(keys),
                     keys);
    if (!row) {
        return;
    }
    if (row->at(1).toLongLong() != 0) {
        buffer = std::nullopt;
        transaction.setResult(0);
        return;
    }
    QString error;
    std::optional<QByteArray> bytes = SqliteBlobIo::read(transaction.database(), table, blobColumn,
                                                         row->at(0).toLongLong(), error);
    if (!bytes) {
        transaction.setResult(-1, error);
        return;
    }
    buffer = std::move(bytes);
    transaction.setResult(0);
}

void selectWhole(Transaction& transaction, QSqlQuery& query, const QString& selectText,
                 const std::vector<BlobKey>& keys, std::optional<QByteArray>& buffer) {
    const std::optional<QVariantList> row = selectOneRow(transaction, query, selectText, keys);
    if (!row) {
        return;
    }
    if (row->at(0).isNull()) {
        buffer = std::nullopt;
    } else {
        buffer = row->at(0).toByteArray();
    }
    transaction.setResult(0);
}

void selectInSlices(Transaction& transaction, QSqlQuery& query, const SliceDialect& dialect,
                    const QString& table, const QString& blobColumn,
                    const std::vector<BlobKey>& keys, std::optional<QByteArray>& buffer) {
    const QString where = whereClause(keys);
    const std::optional<QVariantList> row =
        selectOneRow(transaction, query, dialect.length.arg(blobColumn, table, where), keys);
    if (!row) {
        return;
    }
    const QVariant& lengthValue = row->at(0);
    if (lengthValue.isNull()) {
        buffer = std::nullopt;
        transaction.setResult(0);
        return;
    }
    const qint64 length = lengthValue.toLongLong();
    if (!dialect.session.isEmpty() && query.exec(dialect.sessionProbe) && query.next() &&
        query.value(0).toLongLong() > 0) {
        query.finish();
        if (!query.exec(dialect.session)) {
            transaction.setResult(-1, errorText(query.lastError()));
            return;
        }
    }
    query.finish();

    // One buffer of the final size; every slice is copied into it and dropped.
    // The rows may come in any order: each lands at its own offset, and the
    // slices must cover the value exactly once.
    QByteArray bytes(static_cast<qsizetype>(length), Qt::Uninitialized);
    const qint64 sliceCount = (length + kBlobSliceBytes - 1) / kBlobSliceBytes;
    std::vector<bool> seen(static_cast<size_t>(sliceCount), false);
    qint64 received = 0;
    query.prepare(dialect.slices.arg(blobColumn, table, where));
    query.addBindValue(kBlobSliceBytes);
    query.addBindValue(length);
    query.addBindValue(kBlobSliceBytes);
    bindKeys(query, keys);
    if (!query.exec()) {
        transaction.setResult(-1, errorText(query.lastError()));
        return;
    }
    while (query.next()) {
        const qint64 offset = query.value(0).toLongLong() - 1;
        const qint64 index = offset / kBlobSliceBytes;
        if (offset < 0 || offset % kBlobSliceBytes != 0 || index >= sliceCount ||
            seen[static_cast<size_t>(index)]) {
            transaction.setResult(-1, QStringLiteral("The BLOB changed while it was read"));
            return;
        }
        const QByteArray slice = query.value(1).toByteArray();
        if (slice.size() != std::min(kBlobSliceBytes, length - offset)) {
            transaction.setResult(-1, QStringLiteral("The BLOB changed while it was read"));
            return;
        }
        std::memcpy(bytes.data() + offset, slice.constData(), static_cast<size_t>(slice.size()));
        seen[static_cast<size_t>(index)] = true;
        ++received;
    }
    if (query.lastError().isValid()) {
        transaction.setResult(-1, errorText(query.lastError()));
        return;
    }
    if (received != sliceCount) {
        transaction.setResult(-1, QStringLiteral("The row went away while it was read"));
        return;
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
                      const std::vector<BlobKey>& keys, std::optional<QByteArray>& buffer) {
    if (!transaction.isConnected()) {
        transaction.setResult(-1, QStringLiteral("The transaction is not connected"));
        return;
    }
    const bool plainKeys =
        !keys.empty() && std::all_of(keys.begin(), keys.end(),
                                     [](const auto& k) { return isPlainIdentifier(k.column); });
    if (!isPlainIdentifier(table) || !isPlainIdentifier(blobColumn) || !plainKeys) {
        transaction.setResult(-1, QLatin1String("Not a table or column name: ") + table);
        return;
    }
    QSqlDatabase db = transaction.database();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (SqliteBlobIo::available(db)) {
        selectSqliteInPlace(transaction, query, table, blobColumn, keys, buffer);
        return;
    }
    if (const std::optional<SliceDialect> dialect = sliceDialectOf(db.driverName())) {
        selectInSlices(transaction, query, *dialect, table, blobColumn, keys, buffer);
        return;
    }
    selectWhole(transaction, query,
                QLatin1String("SELECT ") + blobColumn + QLatin1String(" FROM ") + table +
                    whereClause(keys),
                keys, buffer);
}

} // namespace qlx
