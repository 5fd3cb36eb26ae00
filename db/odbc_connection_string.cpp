#include "db/odbc_connection_string.h"

namespace qlx {

namespace {

std::string login(const std::string& user, const std::string& password) {
    std::string text;
    if (!user.empty()) {
        text += ";UID=" + odbcAttributeValue(user);
    }
    if (!password.empty()) {
        text += ";PWD=" + odbcAttributeValue(password);
    }
    return text;
}

} // namespace

std::string odbcAttributeValue(const std::string& value) {
    const bool plain = value.find_first_of(";{}") == std::string::npos &&
                       (value.empty() || (value.front() != ' ' && value.back() != ' '));
    if (plain) {
        return value;
    }
    std::string braced = "{";
    for (const char c : value) {
        braced += c;
        if (c == '}') {
            braced += '}';
        }
    }
    return braced + "}";
}

std::string odbcConnectionString(const std::string& serverName, const std::string& user,
                                 const std::string& password) {
    std::string text = serverName.find('=') != std::string::npos
                           ? serverName
                           : "DSN=" + odbcAttributeValue(serverName);
    while (!text.empty() && (text.back() == ';' || text.back() == ' ')) {
        text.pop_back();
    }
    return text + login(user, password);
}

std::string postgresConnectionString(const PostgresServer& server, const std::string& user,
                                     const std::string& password) {
    std::string text = std::string("DRIVER={") + kPostgresOdbcDriver +
                       "};SERVER=" + odbcAttributeValue(server.host);
    if (server.port) {
        text += ";PORT=" + std::to_string(*server.port);
    }
    if (!server.database.empty()) {
        text += ";DATABASE=" + odbcAttributeValue(server.database);
    }
    text += login(user, password);
    // libpq's own default: TLS when the server offers it, plain otherwise.
    text += ";SSLmode=prefer";
    // bytea is binary data, never a large object.
    text += ";ByteaAsLongVarBinary=1";
    // The driver reads a whole result before the first row; through a cursor
    // (UseDeclareFetch) the server would also copy every row into the
    // cursor's store before sending it, and each fetch would wait for the
    // last. BLOBs are read in statements of a few slices instead, so that the
    // whole result is never large.
    text += ";UseDeclareFetch=0";
    return text;
}

} // namespace qlx
