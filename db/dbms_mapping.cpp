#include "db/dbms_mapping.h"

#include <cctype>

namespace qlx {

namespace {

bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string trimmed(const std::string& s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && isSpace(s[begin])) {
        ++begin;
    }
    while (end > begin && isSpace(s[end - 1])) {
        --end;
    }
    return s.substr(begin, end - begin);
}

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

} // namespace

std::optional<DbmsKind> dbmsKindOf(const std::string& dbms) {
    const std::string text = trimmed(dbms);
    const std::string word = upper(text.substr(0, text.find(' ')));
    if (word.empty()) {
        return std::nullopt;
    }
    if (word == "ORA" || word == "ORACLE") {
        return DbmsKind::Oracle;
    }
    if (word.size() > 1 && word.front() == 'O') {
        bool digits = true;
        for (std::size_t i = 1; i < word.size(); ++i) {
            digits = digits && isDigit(word[i]);
        }
        if (digits) {
            return DbmsKind::Oracle;
        }
    }
    if (word == "ODBC") {
        return DbmsKind::Odbc;
    }
    if (word == "POSTGRESQL" || word == "PGS") {
        return DbmsKind::PostgreSql;
    }
    if (word == "SQLITE") {
        return DbmsKind::Sqlite;
    }
    return std::nullopt;
}

std::optional<std::string> dbParmValue(const std::string& dbParm, const std::string& name) {
    // Values are quoted, so a comma inside quotes belongs to the value.
    const std::size_t n = dbParm.size();
    const std::string wanted = upper(trimmed(name));
    std::size_t pos = 0;
    while (pos < n) {
        const std::size_t eq = dbParm.find('=', pos);
        if (eq == std::string::npos) {
            return std::nullopt;
        }
        const std::string itemName = trimmed(dbParm.substr(pos, eq - pos));
        std::size_t cursor = eq + 1;
        while (cursor < n && isSpace(dbParm[cursor])) {
            ++cursor;
        }
        std::string value;
        if (cursor < n && dbParm[cursor] == '\'') {
            const std::size_t close = dbParm.find('\'', cursor + 1);
            const std::size_t end = close == std::string::npos ? n : close;
            value = dbParm.substr(cursor + 1, end - cursor - 1);
            cursor = close == std::string::npos ? n : close + 1;
            const std::size_t comma = dbParm.find(',', cursor);
            cursor = comma == std::string::npos ? n : comma + 1;
        } else {
            const std::size_t comma = dbParm.find(',', cursor);
            const std::size_t end = comma == std::string::npos ? n : comma;
            value = trimmed(dbParm.substr(cursor, end - cursor));
            cursor = comma == std::string::npos ? n : comma + 1;
        }
        if (upper(itemName) == wanted) {
            return value;
        }
        pos = cursor;
    }
    return std::nullopt;
}

std::optional<PostgresServer> parsePostgresServer(const std::string& serverName) {
    PostgresServer server;
    std::string hostPort = trimmed(serverName);
    const std::size_t slash = hostPort.find('/');
    if (slash != std::string::npos) {
        server.database = hostPort.substr(slash + 1);
        hostPort.resize(slash);
    }
    const std::size_t colon = hostPort.rfind(':');
    if (colon != std::string::npos) {
        const std::string digits = hostPort.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) {
            return std::nullopt;
        }
        int port = 0;
        for (const char c : digits) {
            if (!isDigit(c)) {
                return std::nullopt;
            }
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) {
            return std::nullopt;
        }
        server.port = port;
        hostPort.resize(colon);
    }
    server.host = hostPort;
    return server;
}

} // namespace qlx
