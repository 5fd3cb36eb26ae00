#pragma once

#include "platform/library_loader.h"

#include <string>

namespace qlx {

// An outside library that the updater loads on the first call into it, by its
// full path in the executable's own folder. The client's installation folder
// (the current folder) is never searched, so a planted copy there is ignored.
class OutsideLibrary {
public:
    // `baseName` without prefix or suffix: "EZip", "ftp".
    explicit OutsideLibrary(std::string baseName);
    // The library stays loaded: entries handed out stay valid to the end.
    ~OutsideLibrary();
    OutsideLibrary(const OutsideLibrary&) = delete;
    OutsideLibrary& operator=(const OutsideLibrary&) = delete;

    // The entry `symbol`; throws UnexpectedError naming the library and the
    // loader's reason when the library or the entry cannot be loaded.
    [[nodiscard]] LibraryEntry entry(const char* symbol);

    // The file the library is loaded from.
    [[nodiscard]] std::string filePath() const;

    // The folder all outside libraries are loaded from: the executable's own.
    [[nodiscard]] static std::string libraryFolder();
    // Tests point the loader at another folder (an empty one to see the
    // unexpected error); an empty string restores the executable's folder.
    static void setLibraryFolderForTesting(const std::string& folder);

private:
    std::string baseName_;
    LibraryHandle library_ = nullptr;
};

} // namespace qlx
