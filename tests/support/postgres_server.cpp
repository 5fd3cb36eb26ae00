#include "support/postgres_server.h"

#include "tools/package_store.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <atomic>

#ifndef QLX_TEST_SERVERS_DIR
#error "QLX_TEST_SERVERS_DIR must name the fixture's folder"
#endif

namespace qlx::test {

namespace {

QString uniqueName(const char* prefix) {
    static std::atomic<int> counter{0};
    return QLatin1String(prefix) + QString::number(QCoreApplication::applicationPid()) +
           QLatin1Char('_') + QString::number(++counter) + QLatin1Char('_') +
           QUuid::createUuid().toString(QUuid::Id128).left(8);
}

} // namespace

std::optional<PostgresServer> PostgresServer::fromEnvFile(QString* error) {
    QString dir = qEnvironmentVariable("QLX_TEST_SERVERS_DIR");
    if (dir.isEmpty()) {
        dir = QStringLiteral(QLX_TEST_SERVERS_DIR);
    }
    QFile file(dir + QLatin1String("/postgres.env"));
    if (!file.open(QIODevice::ReadOnly)) {
        if (error != nullptr) {
            *error = QLatin1String("no ") + file.fileName() +
                     QLatin1String(": run the test through ctest (fixture postgres)");
        }
        return std::nullopt;
    }
    QHash<QString, QString> values;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0) {
            values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
        }
    }
    PostgresServer server;
    server.host_ = values.value(QStringLiteral("QLX_PG_HOST"));
    server.port_ = values.value(QStringLiteral("QLX_PG_PORT")).toInt();
    server.superuser_ = values.value(QStringLiteral("QLX_PG_SUPERUSER"));
    server.superPassword_ = values.value(QStringLiteral("QLX_PG_SUPERPASSWORD"));
    server.database_ = values.value(QStringLiteral("QLX_PG_DATABASE"));
    server.role_ = values.value(QStringLiteral("QLX_PG_ROLE"));
    server.rolePassword_ = values.value(QStringLiteral("QLX_PG_ROLE_PASSWORD"));
    server.odbcSysIni_ = values.value(QStringLiteral("QLX_ODBCSYSINI"));
    server.odbcIni_ = values.value(QStringLiteral("QLX_ODBCINI"));
    if (server.port_ == 0 || server.host_.isEmpty()) {
        if (error != nullptr) {
            *error = file.fileName() + QLatin1String(" lacks QLX_PG_HOST or QLX_PG_PORT");
        }
        return std::nullopt;
    }
    return server;
}

QString PostgresServer::serverName(const QString& database) const {
    return host_ + QLatin1Char(':') + QString::number(port_) + QLatin1Char('/') + database;
}

QSqlDatabase PostgresServer::superuser(const QString& database) const {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), uniqueName("qlx_super_"));
    db.setHostName(host_);
    db.setPort(port_);
    db.setDatabaseName(database);
    db.setUserName(superuser_);
    db.setPassword(superPassword_);
    db.open();
    return db;
}

QString PostgresServer::createDatabase(QString* error) const {
    const QString name = uniqueName("qlx_test_").toLower();
    auto fail = [&](const QString& text) {
        if (error != nullptr) {
            *error = text;
        }
        return QString();
    };
    {
        QSqlDatabase admin = superuser();
        if (!admin.isOpen()) {
            const QString text = admin.lastError().text();
            closeConnection(admin);
            return fail(text);
        }
        QSqlQuery query(admin);
        const bool created = query.exec(QLatin1String("CREATE DATABASE ") + name +
                                        QLatin1String(" OWNER \"") + role_ + QLatin1String("\""));
        const QString text = query.lastError().text();
        query = QSqlQuery();
        closeConnection(admin);
        if (!created) {
            return fail(text);
        }
    }
    // The tables belong to the role, as on the update server.
    QSqlDatabase owner =
        QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), uniqueName("qlx_owner_"));
    owner.setHostName(host_);
    owner.setPort(port_);
    owner.setDatabaseName(name);
    owner.setUserName(role_);
    owner.setPassword(rolePassword_);
    QString text;
    const bool ok = owner.open() && publish::createSchema(owner, text);
    if (!ok && text.isEmpty()) {
        text = owner.lastError().text();
    }
    closeConnection(owner);
    return ok ? name : fail(text);
}

bool PostgresServer::dropDatabase(const QString& database) const {
    QSqlDatabase admin = superuser();
    bool ok = admin.isOpen();
    if (ok) {
        QSqlQuery query(admin);
        ok = query.exec(QLatin1String("DROP DATABASE IF EXISTS ") + database +
                        QLatin1String(" WITH (FORCE)"));
    }
    closeConnection(admin);
    return ok;
}

bool PostgresServer::setRolePassword(const QString& password) const {
    QSqlDatabase admin = superuser();
    bool ok = admin.isOpen();
    if (ok) {
        QSqlQuery query(admin);
        // ALTER ROLE takes no bound password; the literal is quoted here.
        QString quoted = password;
        quoted.replace(QLatin1String("'"), QLatin1String("''"));
        ok = query.exec(QLatin1String("ALTER ROLE \"") + role_ + QLatin1String("\" PASSWORD '") +
                        quoted + QLatin1String("'"));
    }
    closeConnection(admin);
    return ok;
}

void PostgresServer::useOdbcFiles() const {
    qputenv("ODBCSYSINI", odbcSysIni_.toLocal8Bit());
    qputenv("ODBCINI", odbcIni_.toLocal8Bit());
}

void closeConnection(QSqlDatabase& db) {
    const QString name = db.connectionName();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

} // namespace qlx::test
