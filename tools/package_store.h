#pragma once

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <vector>

namespace qlx::publish {

// The update database's tables, as the publisher creates them and the
// repository reads them.
inline constexpr const char* kBuildTables[] = {"QLX_UPT3", "QLX_UPT2"};
inline constexpr const char* kUpdateTable = "QLX_UPT";

// The DDL for a driver ("QSQLITE", "QPSQL") or for Oracle ("ORACLE").
[[nodiscard]] std::vector<QString> schemaStatements(const QString& flavour);

// Creates the three tables that are missing; false with `error` set on failure.
bool createSchema(QSqlDatabase& db, QString& error);

// A row of a per-build table; `bytes` null stores a NULL BLOB.
struct BuildPackage {
    QString filename;
    QString fpath;
    long buildno = 0;
    std::optional<QByteArray> bytes;
};
bool insertBuildPackage(QSqlDatabase& db, const QString& table, const BuildPackage& package,
                        QString& error);
bool insertUpdatePackage(QSqlDatabase& db, const QString& updateId,
                         const std::optional<QByteArray>& bytes, QString& error);

// Number of rows removed, -1 on error.
long removeBuildPackage(QSqlDatabase& db, const QString& table, const QString& filename,
                        QString& error);
long removeUpdatePackage(QSqlDatabase& db, const QString& updateId, QString& error);

struct ListedPackage {
    QString table;
    QString key;   // FILENAME or UPDATE_ID
    QString fpath; // per-build tables only
    std::optional<long> buildno;
    std::optional<qint64> size; // null for a NULL BLOB
};
bool listPackages(QSqlDatabase& db, std::vector<ListedPackage>& out, QString& error);

// True when `table` holds a row whose key is `key` and, in a per-build
// table, whose build is `buildno`: one file name may have a package in each
// build.
std::optional<bool> packageExists(QSqlDatabase& db, const QString& table, const QString& key,
                                  std::optional<qint64> buildno, QString& error);

// The per-build table named `name` (case-insensitive), or nullopt.
[[nodiscard]] std::optional<QString> buildTableNamed(const QString& name);

} // namespace qlx::publish
