#include "update/dbms_mapping.h"

#include <QStringList>

namespace qlx {

std::optional<DbmsKind> dbmsKindOf(const QString& dbms) {
    const QString word = dbms.trimmed().section(u' ', 0, 0, QString::SectionSkipEmpty).toUpper();
    if (word.isEmpty()) {
        return std::nullopt;
    }
    if (word == QLatin1String("ORA") || word == QLatin1String("ORACLE")) {
        return DbmsKind::Oracle;
    }
    if (word.size() > 1 && word.front() == u'O') {
        bool digits = true;
        for (qsizetype i = 1; i < word.size(); ++i) {
            digits = digits && word.at(i).isDigit();
        }
        if (digits) {
            return DbmsKind::Oracle;
        }
    }
    if (word == QLatin1String("ODBC")) {
        return DbmsKind::Odbc;
    }
    if (word == QLatin1String("POSTGRESQL") || word == QLatin1String("PGS")) {
        return DbmsKind::PostgreSql;
    }
    if (word == QLatin1String("SQLITE")) {
        return DbmsKind::Sqlite;
    }
    return std::nullopt;
}

std::optional<QString> dbParmValue(const QString& dbParm, const QString& name) {
    // Values are quoted, so a comma inside quotes belongs to the value.
    qsizetype pos = 0;
    const qsizetype n = dbParm.size();
    while (pos < n) {
        const qsizetype eq = dbParm.indexOf(u'=', pos);
        if (eq < 0) {
            return std::nullopt;
        }
        const QString itemName = dbParm.mid(pos, eq - pos).trimmed();
        qsizetype cursor = eq + 1;
        while (cursor < n && dbParm.at(cursor).isSpace()) {
            ++cursor;
        }
        QString value;
        if (cursor < n && dbParm.at(cursor) == u'\'') {
            const qsizetype close = dbParm.indexOf(u'\'', cursor + 1);
            const qsizetype end = close < 0 ? n : close;
            value = dbParm.mid(cursor + 1, end - cursor - 1);
            cursor = close < 0 ? n : close + 1;
            const qsizetype comma = dbParm.indexOf(u',', cursor);
            cursor = comma < 0 ? n : comma + 1;
        } else {
            const qsizetype comma = dbParm.indexOf(u',', cursor);
            const qsizetype end = comma < 0 ? n : comma;
            value = dbParm.mid(cursor, end - cursor).trimmed();
            cursor = comma < 0 ? n : comma + 1;
        }
        if (itemName.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
        pos = cursor;
    }
    return std::nullopt;
}

std::optional<PostgresServer> parsePostgresServer(const QString& serverName) {
    PostgresServer server;
    QString hostPort = serverName.trimmed();
    const qsizetype slash = hostPort.indexOf(u'/');
    if (slash >= 0) {
        server.database = hostPort.mid(slash + 1);
        hostPort.truncate(slash);
    }
    const qsizetype colon = hostPort.lastIndexOf(u':');
    if (colon >= 0) {
        bool ok = false;
        const int port = hostPort.mid(colon + 1).toInt(&ok);
        if (!ok || port < 1 || port > 65535) {
            return std::nullopt;
        }
        server.port = port;
        hostPort.truncate(colon);
    }
    server.host = hostPort;
    return server;
}

} // namespace qlx
