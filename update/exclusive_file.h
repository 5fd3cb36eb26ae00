#pragma once

#include <string>

namespace qlx {

// Opens `path` for writing, created when missing and emptied otherwise, so that
// other programs that honour locks cannot write it until the descriptor is
// closed. -1 when it cannot be opened or another program holds a lock on it;
// the file is then left as it was.
[[nodiscard]] int openExclusiveForWriting(const std::string& path);

// Closes a descriptor of openExclusiveForWriting that nothing else took over.
void closeExclusive(int fd);

} // namespace qlx
