#pragma once

#include "platform/files.h"

#include <string>
#include <vector>

namespace qlx {

// The folders that entering `action` (absolute, or relative to `base`) would
// have to create, the deepest first.
[[nodiscard]] std::vector<std::string> missingFolders(const std::string& base,
                                                      const std::string& action);

// True for a name that stays inside the folder it is joined to: not empty, no
// separator of either platform, not "." or "..". Package names come from the
// command line and the database; a name that could leave the package folder
// is never written, deleted or downloaded.
[[nodiscard]] bool isPlainFileName(const std::string& name);

} // namespace qlx
