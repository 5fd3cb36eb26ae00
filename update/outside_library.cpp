#include "update/outside_library.h"

#include "app/unexpected_error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace qlx {

namespace {

QString& folderOverride() {
    static QString folder;
    return folder;
}

QString executableFolder() {
    if (QCoreApplication::instance() != nullptr) {
        return QCoreApplication::applicationDirPath();
    }
#ifdef Q_OS_WIN
    wchar_t buffer[32768];
    const auto length = GetModuleFileNameW(nullptr, buffer, 32768);
    return QFileInfo(QString::fromWCharArray(buffer, static_cast<qsizetype>(length)))
        .absolutePath();
#else
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
#endif
}

QString platformFileName(const QString& baseName) {
#ifdef Q_OS_WIN
    return baseName + QLatin1String(".dll");
#else
    return QLatin1String("lib") + baseName + QLatin1String(".so");
#endif
}

} // namespace

OutsideLibrary::OutsideLibrary(QString baseName) : baseName_(std::move(baseName)) {}

OutsideLibrary::~OutsideLibrary() = default;

QString OutsideLibrary::libraryFolder() {
    return folderOverride().isEmpty() ? executableFolder() : folderOverride();
}

void OutsideLibrary::setLibraryFolderForTesting(const QString& folder) {
    folderOverride() = folder;
}

QString OutsideLibrary::filePath() const {
    return QDir(libraryFolder()).absoluteFilePath(platformFileName(baseName_));
}

QFunctionPointer OutsideLibrary::entry(const char* symbol) {
    if (!library_ || !library_->isLoaded()) {
        // A full path, so that the platform's search (and with it the current
        // folder) never takes part.
        library_ = std::make_unique<QLibrary>(filePath());
        if (!library_->load()) {
            const QString reason = library_->errorString();
            library_.reset();
            throw UnexpectedError(platformFileName(baseName_), reason);
        }
    }
    QFunctionPointer function = library_->resolve(symbol);
    if (function == nullptr) {
        throw UnexpectedError(platformFileName(baseName_), library_->errorString());
    }
    return function;
}

} // namespace qlx
