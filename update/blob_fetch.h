#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>
#include <vector>

namespace qlx {

class Transaction;

// A column of the row's key and the value it must equal, bound as given.
struct BlobKey {
    QString column;
    QVariant value;
};

// One BLOB column of the single row whose key columns equal their values.
// The buffer gets the bytes, or null for a NULL BLOB; it keeps its value when
// no row, more than one row, or an error is met. SQLCode: 0, 100 (no row) or
// -1. Table and column names are the program's own identifiers.
void selectSingleBlob(Transaction& transaction, const QString& table, const QString& blobColumn,
                      const std::vector<BlobKey>& keys, std::optional<QByteArray>& buffer);

// Bytes per slice on drivers that read a BLOB in slices (PostgreSQL): small
// enough that the server encodes a slice while the last one is decoded here,
// large enough that the rows' own cost does not show.
inline constexpr qint64 kBlobSliceBytes = qint64{1024} * 1024;

// True for a plain SQL identifier (letters, digits, underscore, no leading digit).
[[nodiscard]] bool isPlainIdentifier(const QString& name);

} // namespace qlx
