// The build-list update: every package of the installed build and later builds.
#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "update/package_paths.h"
#include "update/transaction.h"
#include "update/vexa_unzip.h"
#include "window/w_vercheck.h"
#include "window/window_port.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <limits>

namespace qlx {

namespace {

const QString kTimeStampCode = QStringLiteral("QL_UPT_TIME");

// The numeric value of an argument, truncated toward zero ("12.0" is build
// 12); text that is not a number is 0, and so is a number beyond 32 bits: a
// build list from 0 installs too much, never too little.
qint32 toBuildNumber(const QString& text) {
    bool ok = false;
    const double value = std::trunc(trimBlanks(text).toDouble(&ok));
    if (!ok || !std::isfinite(value) || value < std::numeric_limits<qint32>::min() ||
        value > std::numeric_limits<qint32>::max()) {
        return 0;
    }
    return static_cast<qint32>(value);
}

} // namespace

QString w_vercheck::uf_upgrade3(const OptString& /*data*/) {
    const QString ls_path = currentFolder();

    if (!connectUpdateDatabase()) {
        showDatabaseError();
        uf_set(kTimeStampCode, QString::number(failureTimeStamp()), QStringLiteral("O"));
        dw_2_.save(settingsPath());
        return QStringLiteral("X");
    }

    // The cleared stamp is on disk before any package is fetched, so it stays
    // true even when the update stops later.
    uf_set(kTimeStampCode, QString(), QStringLiteral("O"));
    dw_2_.save(settingsPath());

    Transaction& sqlca = app_.sqlca();
    dw_1_.setTransObject(sqlca);
    const qint32 ll_buildno = toBuildNumber(uf_getstring(QStringLiteral("/BUILDNO="), is_call_));

    uf_bar(QStringLiteral("SET"), 50);
    uf_bar(QStringLiteral("BAR"), 1);

    const long ll_cnt = dw_1_.retrieve(ll_buildno);
    if (ll_cnt == 0) {
        return QStringLiteral("O");
    }
    uf_bar(QStringLiteral("SET"), ll_cnt);

    const QString fileTable = QString::fromUtf8(profile_.fileTable.data(),
                                                static_cast<qsizetype>(profile_.fileTable.size()));
    const QString uptFolder = joinPath(ls_path, QStringLiteral("upt"));
    for (long ll_no = 1; ll_no <= ll_cnt; ++ll_no) {
        uf_bar(QStringLiteral("BAR"), ll_no);
        const FileListRow& row = dw_1_.rows().at(static_cast<std::size_t>(ll_no - 1));
        const QString& ls_filename = row.filename;

        std::optional<QByteArray> lb_tmp = QByteArray();
        selectPackageByFileName(sqlca, fileTable, ls_filename, lb_tmp);
        if (!lb_tmp) {
            continue;
        }
        // A name that would leave the package folder is never written.
        if (!isPlainFileName(ls_filename)) {
            continue;
        }
        if (!QFileInfo(uptFolder).isDir()) {
            QDir().mkdir(uptFolder);
        }
        const QString packageFile = joinPath(uptFolder, ls_filename + QLatin1String(".zip"));
        uf_filewrite(packageFile, std::move(*lb_tmp));
        lb_tmp.reset();

        const QString ls_fpath = uf_path(ls_path, row.fpath);
        [[maybe_unused]] const long ll_res = vexa_unzip(packageFile, ls_fpath);
    }
    return QStringLiteral("O");
}

} // namespace qlx
