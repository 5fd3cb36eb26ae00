// The single-package update: the package stored under the update ID "/ID=".
#include "app/version_check.h"
#include "update/package_paths.h"
#include "update/transaction.h"
#include "update/vexa_unzip.h"
#include "window/w_vercheck.h"
#include "window/window_port.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace qlx {

QString w_vercheck::uf_upgrade2(const OptString& /*data*/) {
    const QString ls_path = currentFolder();
    uf_bar(QStringLiteral("BAR"), 1);
    uf_bar(QStringLiteral("BAR"), 2);

    if (!connectUpdateDatabase()) {
        showDatabaseError();
        return QStringLiteral("X");
    }

    QString ls_id = uf_getstring(QStringLiteral("/ID="), is_call_);
    // A missing "/ID=" is the empty ID, which a row may hold; a null string
    // would be bound as NULL and match no row at all.
    if (ls_id.isNull()) {
        ls_id = QString::fromLatin1("", 0);
    }
    const QString ls_filename = uf_getstring(QStringLiteral("/FILE="), is_call_);
    uf_bar(QStringLiteral("BAR"), 3);

    Transaction& sqlca = app_.sqlca();
    std::optional<QByteArray> lb_tmp = QByteArray();
    selectPackageByUpdateId(sqlca, ls_id, lb_tmp);
    if (!lb_tmp) {
        port_.messageBox(QStringLiteral("File?"), QStringLiteral("File이 없습니다."));
        sqlca.disconnect();
        return {};
    }
    sqlca.disconnect();
    uf_bar(QStringLiteral("BAR"), 4);

    const QString tmpFolder = joinPath(ls_path, QStringLiteral("tmp"));
    if (!QFileInfo(tmpFolder).isDir()) {
        QDir().mkdir(tmpFolder);
    }
    const QString packageFile = joinPath(tmpFolder, ls_filename);
    // A name that would leave tmp is never written: the extraction of the
    // unwritten file then fails with the usual message.
    const bool plain = isPlainFileName(ls_filename);
    if (plain) {
        uf_filewrite(packageFile, std::move(*lb_tmp));
    }
    lb_tmp.reset();
    uf_bar(QStringLiteral("BAR"), 5);

    const long ll_res = plain ? vexa_unzip(packageFile, ls_path) : -1;
    if (ll_res != 0) {
        port_.messageBox(QStringLiteral("확인!"),
                         QStringLiteral("업그레이중 오류가 있습니다. \r\n본사에 문의하세요."));
        return QStringLiteral("X");
    }
    uf_bar(QStringLiteral("BAR"), 6);
    QFile::remove(packageFile);
    uf_bar(QStringLiteral("BAR"), 7);
    return QStringLiteral("O");
}

} // namespace qlx
