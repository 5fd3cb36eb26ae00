#include "update/package_paths.h"

#include <QDir>
#include <QFileInfo>

namespace qlx {

QString currentFolder() {
    return QDir::toNativeSeparators(QDir::currentPath());
}

QString joinPath(const QString& folder, const QString& name) {
    return folder + QDir::separator() + name;
}

QStringList missingFolders(const QString& base, const QString& action) {
    QStringList missing;
    if (action.isEmpty()) {
        return missing;
    }
    QString folder = QDir::cleanPath(QDir(base).absoluteFilePath(action));
    while (!QFileInfo::exists(folder)) {
        missing << folder;
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) {
            break;
        }
        folder = parent;
    }
    return missing;
}

bool isPlainFileName(const QString& name) {
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\') &&
           name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(QChar(0));
}

} // namespace qlx
