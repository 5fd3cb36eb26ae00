#pragma once

#include <string>

namespace qlx {

// Creates the file `path` holding `content`, and never replaces one that
// exists: the check and the creation are one step of the system's. With
// `ownerOnly`, nobody but the user who runs the program may read or write it
// (mode 600; on Windows an access list naming that user alone). False with
// `error` set when the file exists or could not be made whole; a part written
// is removed again.
bool createNewFile(const std::string& path, const std::string& content, bool ownerOnly,
                   std::string& error);

} // namespace qlx
