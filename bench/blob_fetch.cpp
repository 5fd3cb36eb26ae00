// Fetches one package BLOB the way the updater does and writes it to a file,
// so that its time and peak memory can be set against the databases' own
// clients (bench/blob_fetch.sh).
//   blob_fetch --dbms ID --server NAME [--user U --password P] [--whole] FILENAME OUT
// --whole reads the BLOB with one statement, as the driver does by itself.

#include "update/repository.h"
#include "update/transaction.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    qlx::Transaction sqlca;
    sqlca.LogId = QStringLiteral("QUIL_UPT");
    sqlca.LogPass = QStringLiteral("KOLVEX4923TRA");
    bool whole = false;
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--whole")) {
            whole = true;
        } else if (a.startsWith(QLatin1String("--")) && i + 1 < args.size()) {
            const QString value = args[++i];
            if (a == QLatin1String("--dbms")) {
                sqlca.DBMS = value;
            } else if (a == QLatin1String("--server")) {
                sqlca.ServerName = value;
            } else if (a == QLatin1String("--user")) {
                sqlca.LogId = value;
            } else if (a == QLatin1String("--password")) {
                sqlca.LogPass = value;
            }
        } else {
            positional << a;
        }
    }
    if (positional.size() != 2) {
        std::fprintf(stderr, "usage: blob_fetch --dbms ID --server NAME [--whole] FILENAME OUT\n");
        return 2;
    }
    sqlca.connect();
    if (sqlca.SQLCode.value_or(0) != 0) {
        std::fprintf(stderr, "blob_fetch: %s\n", sqlca.SQLErrText.toLocal8Bit().constData());
        return 1;
    }
    std::optional<QByteArray> blob = QByteArray();
    if (whole) {
        QSqlQuery query(sqlca.database());
        query.setForwardOnly(true);
        query.prepare(QStringLiteral("SELECT eFILE FROM QLX_UPT3 WHERE FILENAME = ?"));
        query.addBindValue(positional[0]);
        if (query.exec() && query.next()) {
            blob = query.value(0).toByteArray();
        }
    } else {
        qlx::selectPackageByFileName(sqlca, QStringLiteral("QLX_UPT3"), positional[0], blob);
    }
    if (!blob || blob->isEmpty()) {
        std::fprintf(stderr, "blob_fetch: no package (%s)\n",
                     sqlca.SQLErrText.toLocal8Bit().constData());
        return 1;
    }
    QFile out(positional[1]);
    if (!out.open(QIODevice::WriteOnly) || out.write(*blob) != blob->size()) {
        std::fprintf(stderr, "blob_fetch: cannot write %s\n",
                     positional[1].toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
