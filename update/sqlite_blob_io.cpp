#include "update/sqlite_blob_io.h"

#include <QLibrary>
#include <QSqlDriver>
#include <QVariant>

#include <cstring>

// The few entries of SQLite's C interface used here, taken from the library
// that the Qt driver has already loaded, so that the core does not link it.
struct sqlite3;
struct sqlite3_blob;

namespace qlx {

namespace {

using BlobOpen = int (*)(sqlite3*, const char*, const char*, const char*, long long, int,
                         sqlite3_blob**);
using BlobBytes = int (*)(sqlite3_blob*);
using BlobRead = int (*)(sqlite3_blob*, void*, int, int);
using BlobWrite = int (*)(sqlite3_blob*, const void*, int, int);
using BlobClose = int (*)(sqlite3_blob*);
using ErrMsg = const char* (*)(sqlite3*);

struct Api {
    BlobOpen open = nullptr;
    BlobBytes bytes = nullptr;
    BlobRead read = nullptr;
    BlobWrite write = nullptr;
    BlobClose close = nullptr;
    ErrMsg errmsg = nullptr;
    [[nodiscard]] bool complete() const {
        return open != nullptr && bytes != nullptr && read != nullptr && write != nullptr &&
               close != nullptr && errmsg != nullptr;
    }
};

const Api& api() {
    static const Api loaded = [] {
        Api a;
#ifdef Q_OS_WIN
        // Qt's driver carries its own SQLite there, and a search by bare name
        // could pick up a planted DLL.
#else
        QLibrary library(QStringLiteral("sqlite3"), 0);
        if (!library.load()) {
            return a;
        }
        a.open = reinterpret_cast<BlobOpen>(library.resolve("sqlite3_blob_open"));
        a.bytes = reinterpret_cast<BlobBytes>(library.resolve("sqlite3_blob_bytes"));
        a.read = reinterpret_cast<BlobRead>(library.resolve("sqlite3_blob_read"));
        a.write = reinterpret_cast<BlobWrite>(library.resolve("sqlite3_blob_write"));
        a.close = reinterpret_cast<BlobClose>(library.resolve("sqlite3_blob_close"));
        a.errmsg = reinterpret_cast<ErrMsg>(library.resolve("sqlite3_errmsg"));
#endif
        return a;
    }();
    return loaded;
}

sqlite3* handleOf(const QSqlDatabase& db) {
    if (db.driver() == nullptr) {
        return nullptr;
    }
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || std::strcmp(handle.typeName(), "sqlite3*") != 0) {
        return nullptr;
    }
    return *static_cast<sqlite3* const*>(handle.constData());
}

constexpr int kChunk = 1024 * 1024;

} // namespace

bool SqliteBlobIo::available(const QSqlDatabase& db) {
    return db.driverName() == QLatin1String("QSQLITE") && handleOf(db) != nullptr &&
           api().complete();
}

std::optional<QByteArray> SqliteBlobIo::read(const QSqlDatabase& db, const QString& table,
                                             const QString& column, qint64 rowid, QString& error) {
    const Api& a = api();
    sqlite3* handle = handleOf(db);
    if (handle == nullptr || !a.complete()) {
        error = QStringLiteral("SQLite's BLOB interface is not available");
        return std::nullopt;
    }
    sqlite3_blob* blob = nullptr;
    if (a.open(handle, "main", table.toUtf8().constData(), column.toUtf8().constData(), rowid, 0,
               &blob) != 0) {
        error = QString::fromUtf8(a.errmsg(handle));
        if (blob != nullptr) {
            a.close(blob);
        }
        return std::nullopt;
    }
    const int size = a.bytes(blob);
    QByteArray bytes(size, Qt::Uninitialized);
    for (int offset = 0; offset < size; offset += kChunk) {
        const int n = std::min(kChunk, size - offset);
        if (a.read(blob, bytes.data() + offset, n, offset) != 0) {
            error = QString::fromUtf8(a.errmsg(handle));
            a.close(blob);
            return std::nullopt;
        }
    }
    a.close(blob);
    return bytes;
}

bool SqliteBlobIo::write(const QSqlDatabase& db, const QString& table, const QString& column,
                         qint64 rowid, const QByteArray& bytes, QString& error) {
    const Api& a = api();
    sqlite3* handle = handleOf(db);
    if (handle == nullptr || !a.complete()) {
        error = QStringLiteral("SQLite's BLOB interface is not available");
        return false;
    }
    sqlite3_blob* blob = nullptr;
    if (a.open(handle, "main", table.toUtf8().constData(), column.toUtf8().constData(), rowid, 1,
               &blob) != 0) {
        error = QString::fromUtf8(a.errmsg(handle));
        if (blob != nullptr) {
            a.close(blob);
        }
        return false;
    }
    if (a.bytes(blob) != bytes.size()) {
        a.close(blob);
        error = QStringLiteral("The BLOB has not the package's size");
        return false;
    }
    const int size = static_cast<int>(bytes.size());
    for (int offset = 0; offset < size; offset += kChunk) {
        const int n = std::min(kChunk, size - offset);
        if (a.write(blob, bytes.constData() + offset, n, offset) != 0) {
            error = QString::fromUtf8(a.errmsg(handle));
            a.close(blob);
            return false;
        }
    }
    if (a.close(blob) != 0) {
        error = QString::fromUtf8(a.errmsg(handle));
        return false;
    }
    return true;
}

} // namespace qlx
