#include "platform/outside_library.h"

#include "base/unexpected_error.h"
#include "platform/files.h"

#include <utility>

namespace qlx {

namespace {

std::string& folderOverride() {
    static std::string folder;
    return folder;
}

} // namespace

OutsideLibrary::OutsideLibrary(std::string baseName) : baseName_(std::move(baseName)) {}

OutsideLibrary::~OutsideLibrary() = default;

std::string OutsideLibrary::libraryFolder() {
    return folderOverride().empty() ? executableFolder() : folderOverride();
}

void OutsideLibrary::setLibraryFolderForTesting(const std::string& folder) {
    folderOverride() = folder;
}

std::string OutsideLibrary::filePath() const {
    return joinPath(libraryFolder(), libraryFileName(baseName_));
}

LibraryEntry OutsideLibrary::entry(const char* symbol) {
    std::string reason;
    if (library_ == nullptr) {
        // A full path, so that the platform's search (and with it the current
        // folder) never takes part.
        const std::string folder = libraryFolder();
        if (folder.empty()) {
            throw UnexpectedError(libraryFileName(baseName_),
                                  "the executable's own folder is unknown");
        }
        library_ = loadLibrary(filePath(), reason);
        if (library_ == nullptr) {
            throw UnexpectedError(libraryFileName(baseName_), reason);
        }
    }
    const LibraryEntry function = libraryEntry(library_, symbol, reason);
    if (function == nullptr) {
        throw UnexpectedError(libraryFileName(baseName_), reason);
    }
    return function;
}

} // namespace qlx
