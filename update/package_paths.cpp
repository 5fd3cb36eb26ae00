#include "update/package_paths.h"

#include <QDir>

namespace qlx {

QString currentFolder() {
    return QDir::toNativeSeparators(QDir::currentPath());
}

QString joinPath(const QString& folder, const QString& name) {
    return folder + QDir::separator() + name;
}

bool isPlainFileName(const QString& name) {
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\') &&
           name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(QChar(0));
}

} // namespace qlx
