#include "tools/publish_password.h"

#include "db/dbms_mapping.h"
#include "platform/terminal.h"
#include "platform/whole_file.h"
#include "tools/publish_messages.h"

#include <cstdlib>
#include <optional>

namespace qlx::publish {

namespace {

bool readPasswordFile(const std::string& path, std::string& password) {
    const std::optional<std::string> text = readWholeFile(path);
    if (!text) {
        err("cannot read the password file " + path);
        return false;
    }
    password = text->substr(0, text->find_first_of("\r\n"));
    return true;
}

} // namespace

bool readPassword(const Options& options, std::string& password) {
    if (!options.passwordFile.empty()) {
        return readPasswordFile(options.passwordFile, password);
    }
    if (options.passwordOption) {
        warn("--password shows the password to every user of this machine; use "
             "--password-file FILE or QLX_PUBLISH_PASSWORD");
        password = *options.passwordOption;
        return true;
    }
    if (const char* fromEnvironment = std::getenv("QLX_PUBLISH_PASSWORD")) {
        password = fromEnvironment;
        return true;
    }
    password = options.password;
    if (dbmsKindOf(options.dbms) == DbmsKind::Sqlite) {
        return true;
    }
    const std::optional<std::string> typed = readHiddenLine(
        "password of " + options.user + " on " + options.server + " (Enter: the default): ");
    if (typed && !typed->empty()) {
        password = *typed;
    }
    return true;
}

} // namespace qlx::publish
