#pragma once

#include <vector>

namespace qlx {

// The bytes of a package as they come from the database and go to disk.
using Bytes = std::vector<char>;

} // namespace qlx
