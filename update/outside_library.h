#pragma once

#include <QLibrary>
#include <QString>

#include <memory>

namespace qlx {

// An outside library that the updater loads on the first call into it, by its
// full path in the executable's own folder. The client's installation folder
// (the current folder) is never searched, so a planted copy there is ignored.
class OutsideLibrary {
public:
    // `baseName` without prefix or suffix: "EZip", "ftp".
    explicit OutsideLibrary(QString baseName);
    ~OutsideLibrary();
    OutsideLibrary(const OutsideLibrary&) = delete;
    OutsideLibrary& operator=(const OutsideLibrary&) = delete;

    // The entry `symbol`; throws UnexpectedError when the library or the entry
    // cannot be loaded.
    [[nodiscard]] QFunctionPointer entry(const char* symbol);

    // The file the library is loaded from.
    [[nodiscard]] QString filePath() const;

    // The folder all outside libraries are loaded from: the executable's own.
    [[nodiscard]] static QString libraryFolder();
    // Tests point the loader at another folder (an empty one to see the
    // unexpected error); an empty string restores the executable's folder.
    static void setLibraryFolderForTesting(const QString& folder);

private:
    QString baseName_;
    std::unique_ptr<QLibrary> library_;
};

} // namespace qlx
