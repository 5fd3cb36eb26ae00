#include "tools/package_store.h"

#include "update/sqlite_blob_io.h"

#include <QSqlError>
#include <QSqlQuery>

namespace qlx::publish {

namespace {

QString errorText(const QSqlError& error) {
    const QString database = error.databaseText().trimmed();
    return database.isEmpty() ? error.text().trimmed() : database;
}

bool isPostgres(const QSqlDatabase& db) {
    return db.driverName() == QLatin1String("QPSQL");
}

// libpq takes a bound bytea as escaped text (over twice its size, held again as
// UTF-16 in the statement), so large packages go to PostgreSQL in parts.
constexpr qsizetype kPostgresPart = qsizetype{8} * 1024 * 1024;

QString blobType(const QString& flavour) {
    if (flavour == QLatin1String("QPSQL")) {
        return QStringLiteral("BYTEA");
    }
    return QStringLiteral("BLOB");
}

QString textType(const QString& flavour) {
    return flavour == QLatin1String("ORACLE") ? QStringLiteral("VARCHAR2(255)")
                                              : QStringLiteral("TEXT");
}

QString intType(const QString& flavour) {
    return flavour == QLatin1String("ORACLE") ? QStringLiteral("NUMBER(10)")
                                              : QStringLiteral("INTEGER");
}

bool execBound(QSqlQuery& query, const QString& text, const QVariantList& values, QString& error) {
    if (!query.prepare(text)) {
        error = errorText(query.lastError());
        return false;
    }
    for (const QVariant& v : values) {
        query.addBindValue(v);
    }
    if (!query.exec()) {
        error = errorText(query.lastError());
        return false;
    }
    return true;
}

QVariant blobValue(const std::optional<QByteArray>& bytes) {
    return bytes ? QVariant(*bytes) : QVariant(QMetaType(QMetaType::QByteArray));
}

// Sends the package to PostgreSQL part by part into a temporary table and
// joins the parts on the server, so that neither side holds more than the
// package and one part at a time. Appending to the row instead would rewrite
// the growing value once per part.
bool stageInParts(QSqlDatabase& db, const QByteArray& bytes, QString& error) {
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("CREATE TEMP TABLE qlx_publish_parts (n integer, part bytea) "
                                   "ON COMMIT DROP")) ||
        !query.exec(QStringLiteral(
            "ALTER TABLE qlx_publish_parts ALTER COLUMN part SET STORAGE EXTERNAL"))) {
        error = errorText(query.lastError());
        return false;
    }
    const QString text = QStringLiteral("INSERT INTO qlx_publish_parts (n, part) VALUES (?, ?)");
    int n = 0;
    for (qsizetype offset = 0; offset < bytes.size(); offset += kPostgresPart) {
        const qsizetype size = std::min(kPostgresPart, bytes.size() - offset);
        // A view of the caller's bytes, not a copy.
        const QByteArray part = QByteArray::fromRawData(bytes.constData() + offset, size);
        if (!execBound(query, text, {QVariant(n++), QVariant(part)}, error)) {
            return false;
        }
    }
    return true;
}

bool insertRow(QSqlDatabase& db, const QString& table, const QStringList& columns,
               const QVariantList& keyValues, const QString& blobColumn,
               const std::optional<QByteArray>& bytes, QString& error) {
    const bool ownTransaction = db.transaction();
    QSqlQuery query(db);
    QString placeholders;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        placeholders += i == 0 ? QStringLiteral("?") : QStringLiteral(", ?");
    }
    const bool parts = bytes && isPostgres(db) && bytes->size() > kPostgresPart;
    // SQLite would build the whole row in memory beside the caller's bytes; a
    // zero-filled BLOB of the right size is written in place instead.
    const bool inPlace = bytes && !bytes->isEmpty() && SqliteBlobIo::available(db);
    bool ok = true;
    QString text = QLatin1String("INSERT INTO ") + table + QLatin1String(" (") +
                   columns.join(QLatin1String(", ")) + QLatin1String(", ") + blobColumn +
                   QLatin1String(") ");
    QVariantList values = keyValues;
    if (parts) {
        ok = ownTransaction && stageInParts(db, *bytes, error);
        if (!ownTransaction) {
            error = QStringLiteral("PostgreSQL refused to begin a transaction");
        }
        text += QLatin1String("VALUES (") + placeholders +
                QLatin1String(", (SELECT string_agg(part, ''::bytea ORDER BY n) "
                              "FROM qlx_publish_parts))");
    } else if (inPlace) {
        text += QLatin1String("VALUES (") + placeholders + QLatin1String(", zeroblob(?))");
        values.append(static_cast<qlonglong>(bytes->size()));
    } else {
        text += QLatin1String("VALUES (") + placeholders + QLatin1String(", ?)");
        values.append(blobValue(bytes));
    }
    ok = ok && execBound(query, text, values, error);
    if (ok && inPlace) {
        const qint64 rowid = query.lastInsertId().toLongLong();
        ok = SqliteBlobIo::write(db, table, blobColumn, rowid, *bytes, error);
    }
    if (ownTransaction) {
        if (ok) {
            ok = db.commit();
            if (!ok) {
                error = errorText(db.lastError());
            }
        } else {
            db.rollback();
        }
    }
    return ok;
}

long removeRows(QSqlDatabase& db, const QString& table, const QString& keyColumn,
                const QString& key, QString& error) {
    QSqlQuery query(db);
    if (!execBound(query,
                   QLatin1String("DELETE FROM ") + table + QLatin1String(" WHERE ") + keyColumn +
                       QLatin1String(" = ?"),
                   {key}, error)) {
        return -1;
    }
    return query.numRowsAffected();
}

} // namespace

std::optional<QString> buildTableNamed(const QString& name) {
    for (const char* table : kBuildTables) {
        if (name.compare(QLatin1String(table), Qt::CaseInsensitive) == 0) {
            return QString::fromLatin1(table);
        }
    }
    return std::nullopt;
}

std::vector<QString> schemaStatements(const QString& flavour) {
    std::vector<QString> statements;
    for (const char* table : kBuildTables) {
        statements.push_back(
            QLatin1String("CREATE TABLE ") + QLatin1String(table) + QLatin1String(" (FILENAME ") +
            textType(flavour) + QLatin1String(" NOT NULL, FPATH ") + textType(flavour) +
            QLatin1String(", BUILDNO ") + intType(flavour) + QLatin1String(" NOT NULL, eFILE ") +
            blobType(flavour) + QLatin1String(")"));
    }
    statements.push_back(QLatin1String("CREATE TABLE ") + QLatin1String(kUpdateTable) +
                         QLatin1String(" (UPDATE_ID ") + textType(flavour) +
                         QLatin1String(" NOT NULL, UPFILE ") + blobType(flavour) +
                         QLatin1String(")"));
    return statements;
}

bool createSchema(QSqlDatabase& db, QString& error) {
    const QStringList existing = db.tables();
    std::vector<QString> statements = schemaStatements(db.driverName());
    QStringList names;
    for (const char* table : kBuildTables) {
        names << QString::fromLatin1(table);
    }
    names << QString::fromLatin1(kUpdateTable);
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (existing.contains(names[i], Qt::CaseInsensitive)) {
            continue;
        }
        QSqlQuery query(db);
        if (!query.exec(statements[static_cast<size_t>(i)])) {
            error = errorText(query.lastError());
            return false;
        }
        // Packages are zip archives: compressing them again is wasted work.
        const QString blob = names[i] == QLatin1String(kUpdateTable) ? QStringLiteral("UPFILE")
                                                                     : QStringLiteral("eFILE");
        if (isPostgres(db) &&
            !query.exec(QLatin1String("ALTER TABLE ") + names[i] + QLatin1String(" ALTER COLUMN ") +
                        blob + QLatin1String(" SET STORAGE EXTERNAL"))) {
            error = errorText(query.lastError());
            return false;
        }
    }
    return true;
}

bool insertBuildPackage(QSqlDatabase& db, const QString& table, const BuildPackage& package,
                        QString& error) {
    return insertRow(
        db, table, {QStringLiteral("FILENAME"), QStringLiteral("FPATH"), QStringLiteral("BUILDNO")},
        {package.filename, package.fpath, static_cast<qlonglong>(package.buildno)},
        QStringLiteral("eFILE"), package.bytes, error);
}

bool insertUpdatePackage(QSqlDatabase& db, const QString& updateId,
                         const std::optional<QByteArray>& bytes, QString& error) {
    return insertRow(db, QString::fromLatin1(kUpdateTable), {QStringLiteral("UPDATE_ID")},
                     {updateId}, QStringLiteral("UPFILE"), bytes, error);
}

long removeBuildPackage(QSqlDatabase& db, const QString& table, const QString& filename,
                        QString& error) {
    return removeRows(db, table, QStringLiteral("FILENAME"), filename, error);
}

long removeUpdatePackage(QSqlDatabase& db, const QString& updateId, QString& error) {
    return removeRows(db, QString::fromLatin1(kUpdateTable), QStringLiteral("UPDATE_ID"), updateId,
                      error);
}

std::optional<bool> packageExists(QSqlDatabase& db, const QString& table, const QString& key,
                                  std::optional<qint64> buildno, QString& error) {
    const QString keyColumn = table == QLatin1String(kUpdateTable) ? QStringLiteral("UPDATE_ID")
                                                                   : QStringLiteral("FILENAME");
    QString text = QLatin1String("SELECT count(*) FROM ") + table + QLatin1String(" WHERE ") +
                   keyColumn + QLatin1String(" = ?");
    QVariantList values{key};
    if (buildno) {
        text += QLatin1String(" AND BUILDNO = ?");
        values.push_back(*buildno);
    }
    QSqlQuery query(db);
    if (!execBound(query, text, values, error) || !query.next()) {
        if (error.isEmpty()) {
            error = errorText(query.lastError());
        }
        return std::nullopt;
    }
    return query.value(0).toLongLong() > 0;
}

bool listPackages(QSqlDatabase& db, std::vector<ListedPackage>& out, QString& error) {
    const QString length =
        isPostgres(db) ? QStringLiteral("octet_length") : QStringLiteral("length");
    for (const char* table : kBuildTables) {
        QSqlQuery query(db);
        if (!query.exec(QLatin1String("SELECT FILENAME, FPATH, BUILDNO, ") + length +
                        QLatin1String("(eFILE) FROM ") + QLatin1String(table) +
                        QLatin1String(" ORDER BY BUILDNO, FILENAME"))) {
            error = errorText(query.lastError());
            return false;
        }
        while (query.next()) {
            ListedPackage p{QString::fromLatin1(table), query.value(0).toString(),
                            query.value(1).toString(),
                            static_cast<long>(query.value(2).toLongLong()), std::nullopt};
            if (!query.value(3).isNull()) {
                p.size = query.value(3).toLongLong();
            }
            out.push_back(std::move(p));
        }
    }
    QSqlQuery query(db);
    if (!query.exec(QLatin1String("SELECT UPDATE_ID, ") + length +
                    QLatin1String("(UPFILE) FROM QLX_UPT ORDER BY UPDATE_ID"))) {
        error = errorText(query.lastError());
        return false;
    }
    while (query.next()) {
        ListedPackage p{QString::fromLatin1(kUpdateTable),
                        query.value(0).toString(),
                        {},
                        std::nullopt,
                        std::nullopt};
        if (!query.value(1).isNull()) {
            p.size = query.value(1).toLongLong();
        }
        out.push_back(std::move(p));
    }
    return true;
}

} // namespace qlx::publish
