#pragma once

#include "tools/publish_options.h"

#include <string>

namespace qlx::publish {

// The database password, from the first of: the first line of
// --password-file, --password (with a warning: the process list shows it),
// the environment's QLX_PUBLISH_PASSWORD, a prompt when a terminal is
// attached (SQLite needs none), and the updater's first password. False,
// reported, when the password file cannot be read.
bool readPassword(const Options& options, std::string& password);

} // namespace qlx::publish
