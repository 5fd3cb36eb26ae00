#pragma once

#include <string>
#include <vector>

namespace qlx {

// What the settings store asks of the file system besides the atomic save:
// reading the file, its read-only mark and the names it is known by. Paths are
// UTF-8.

enum class FileReadState {
    Missing,  // nothing at all is at the path
    Unusable, // something is there, but no regular file that could be read
    Read,
};

struct FileContents {
    FileReadState state = FileReadState::Missing;
    std::string bytes;
};

// The whole file at `path`. A link to nothing is something at the path, so it
// is unusable rather than missing; so are folders and files we may not read.
[[nodiscard]] FileContents readFileContents(const std::string& path);

// True when a file exists at `path` and is marked read-only: its owner's write
// permission is off (POSIX) or its read-only attribute is set (Windows).
[[nodiscard]] bool isMarkedReadOnly(const std::string& path);

// The names under which the file at `path` is known: the path made absolute
// and cleaned of ".", ".." and repeated separators, and, when the file exists
// and the name differs, the path with every link resolved. Two spellings of one
// existing file share a name.
[[nodiscard]] std::vector<std::string> fileIdentities(const std::string& path);

} // namespace qlx
