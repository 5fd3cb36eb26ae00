#include "support/packages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <stdexcept>

namespace qlx::test {

QByteArray makePackage(const QMap<QString, QByteArray>& files) {
    QTemporaryDir dir;
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QString file = dir.filePath(QStringLiteral("content/") + it.key());
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly)) {
            throw std::runtime_error("cannot write package content");
        }
        f.write(it.value());
    }
    QProcess zip;
    zip.setWorkingDirectory(dir.filePath(QStringLiteral("content")));
    zip.start(QStringLiteral("/usr/bin/zip"),
              {QStringLiteral("-q"), QStringLiteral("-r"), dir.filePath(QStringLiteral("p.zip")),
               QStringLiteral(".")});
    if (!zip.waitForFinished(30000) || zip.exitCode() != 0) {
        throw std::runtime_error("zip failed");
    }
    return readFile(dir.filePath(QStringLiteral("p.zip")));
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString settingIn(const QString& psr, const QString& code) {
    const QJsonObject doc = QJsonDocument::fromJson(readFile(psr)).object();
    for (const auto& row : doc.value(QStringLiteral("rows")).toArray()) {
        if (row.toObject().value(QStringLiteral("CODE")).toString() == code) {
            return row.toObject().value(QStringLiteral("VALUE")).toString();
        }
    }
    return QStringLiteral("<absent>");
}

namespace {

void run(const QString& database, const QString& statement, const QVariantList& values) {
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(database);
        if (!db.open()) {
            throw std::runtime_error(db.lastError().text().toStdString());
        }
        QSqlQuery query(db);
        query.prepare(statement);
        for (const QVariant& value : values) {
            query.addBindValue(value);
        }
        if (!query.exec()) {
            throw std::runtime_error(query.lastError().text().toStdString());
        }
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

void createSqliteUpdateDatabase(const QString& path) {
    for (const char* table : {"QLX_UPT3", "QLX_UPT2"}) {
        run(path,
            QStringLiteral(
                "CREATE TABLE %1 (FILENAME TEXT, FPATH TEXT, BUILDNO INTEGER, eFILE BLOB)")
                .arg(QLatin1String(table)),
            {});
    }
    run(path, QStringLiteral("CREATE TABLE QLX_UPT (UPDATE_ID TEXT, UPFILE BLOB)"), {});
}

void addBuildPackage(const QString& database, const QString& table, const QString& filename,
                     const QString& fpath, int buildno, const QByteArray& package, bool null) {
    run(database,
        QStringLiteral("INSERT INTO %1 (FILENAME, FPATH, BUILDNO, eFILE) VALUES (?, ?, ?, ?)")
            .arg(table),
        {filename, fpath, buildno,
         null ? QVariant(QMetaType::fromType<QByteArray>()) : QVariant(package)});
}

void addUpdatePackage(const QString& database, const QString& updateId, const QByteArray& package,
                      bool null) {
    run(database, QStringLiteral("INSERT INTO QLX_UPT (UPDATE_ID, UPFILE) VALUES (?, ?)"),
        {updateId, null ? QVariant(QMetaType::fromType<QByteArray>()) : QVariant(package)});
}

QStringList namesThatLeaveTheFolder(const QString& victim) {
    return {QStringLiteral("."),
            QStringLiteral(".."),
            QStringLiteral("../victim.zip"),
            QStringLiteral("..\\victim.zip"),
            QStringLiteral("sub/victim.zip"),
            victim};
}

} // namespace qlx::test
