#pragma once

#include "platform/files.h"

#include <string>

namespace ezip {

// Files that another program is using. On Windows a virus scanner or an
// editor may hold a file open without sharing its deletion, and a running
// program's image or a loaded DLL cannot be replaced, only renamed.

// Moves `staged` over `target`. A target in use is moved to `aside` first
// (a running image may be renamed) and `staged` then takes its name; while
// either move meets a file in use it is tried again for a few seconds, for a
// scanner lets go soon. Busy when the file stayed in use, and then the target
// is back under its name.
[[nodiscard]] qlx::Replaced replaceInUse(const std::string& staged, const std::string& target,
                                         const std::string& aside);

// Waits a few seconds, as replaceInUse does, while another program holds
// `path` open; false when it still does. A file is checked before a backup
// link is made of it, for a link of a held file cannot be removed while it is
// held, and what is left behind must not stand in the next start's way.
[[nodiscard]] bool waitWhileHeld(const std::string& path);

// The file that another program kept the last commit from replacing, or
// empty; kept until the next commit of this process begins.
void recordBusyFile(const std::string& path);
[[nodiscard]] const std::string& busyFile();

} // namespace ezip
