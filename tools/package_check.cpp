#include "tools/package_check.h"

#include "update/vexa_unzip.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

namespace qlx::publish {

PackageCheck checkPackage(const QString& zipPath) {
    PackageCheck check;
    const QFileInfo info(zipPath);
    if (!info.isFile()) {
        check.reason = QLatin1String("no such file: ") + zipPath;
        return check;
    }
    QTemporaryDir scratch(
        QDir::temp().absoluteFilePath(QStringLiteral("qlx_publish_check.XXXXXX")));
    if (!scratch.isValid()) {
        check.reason = QLatin1String("cannot create a scratch folder: ") + scratch.errorString();
        return check;
    }
    check.code = vexa_unzip(info.absoluteFilePath(), scratch.path());
    check.accepted = check.code == 0;
    if (!check.accepted) {
        check.reason = QLatin1String("the extraction library refuses it (result ") +
                       QString::number(check.code) + QLatin1String(")");
    }
    return check;
}

} // namespace qlx::publish
