#pragma once

#include <string>
#include <string_view>

namespace qlx {

// Gives the file at `path` the contents `bytes` so that afterwards it holds
// either all of its old bytes or all of the new ones, whatever fails midway: a
// full disk, a killed process, a power loss. The new bytes go to a temporary
// file beside it ("." + name + ".qlx-save-" + six random characters), which
// replaces it only once every byte is on disk. A link is followed and its
// target replaced, so the link stays. On POSIX an existing file keeps its
// permissions and, where the process may give them, its owner and group; on
// Windows it keeps its hidden, system and archive attributes and the new file
// takes the access rights its folder hands down. A missing file is created,
// its folder is not. Paths are UTF-8. False, with the old file untouched and no
// temporary file left, when anything before the replacement fails; false too
// when the folder could not be synced afterwards, when the new contents are in
// place but might not survive a power loss.
[[nodiscard]] bool replaceFileContents(const std::string& path, std::string_view bytes);

// Removes the temporary files that saves of `path` interrupted before their
// replacement left beside it. Other files are never touched.
void removeInterruptedSaves(const std::string& path);

} // namespace qlx
