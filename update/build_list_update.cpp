// The build-list update: every package of the installed build and later builds.
#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "update/package_failure.h"
#include "update/package_paths.h"
#include "update/package_run.h"
#include "update/repository.h"
#include "update/transaction.h"
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
    // A run that was killed is finished or undone before anything else, so
    // that the client never starts on a half-moved installation.
    const QString journal = runJournalPath(ls_path);
    PackageRun::recover(journal);

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
    // Every package is staged first; the installation changes only when all
    // of them are sound, and then all at once.
    PackageRun run(journal);
    std::vector<PackageFailure> failures;
    // Target folders made for this run, which a failed run takes away again.
    QStringList madeFolders;
    for (long ll_no = 1; ll_no <= ll_cnt; ++ll_no) {
        uf_bar(QStringLiteral("BAR"), ll_no);
        const FileListRow& row = dw_1_.rows().at(static_cast<std::size_t>(ll_no - 1));
        const QString& ls_filename = row.filename;
        const QString packageName = ls_filename + QLatin1String(".zip");

        std::optional<QByteArray> lb_tmp = QByteArray();
        selectPackageOfRow(sqlca, fileTable, row, lb_tmp);
        if (!lb_tmp) {
            continue;
        }
        // A name that would leave the package folder is never written.
        if (!isPlainFileName(ls_filename)) {
            failures.push_back({packageName, QStringLiteral("파일 이름이 올바르지 않습니다")});
            continue;
        }
        if (!QFileInfo(uptFolder).isDir()) {
            QDir().mkdir(uptFolder);
        }
        const QString packageFile = joinPath(uptFolder, packageName);
        const int written = uf_filewrite(packageFile, std::move(*lb_tmp));
        lb_tmp.reset();
        if (written != 1) {
            failures.push_back(
                {packageName, QStringLiteral("패키지 파일을 쓸 수 없습니다: ") + packageFile});
            continue;
        }
        const QStringList missing = missingFolders(ls_path, row.fpath);
        const std::optional<QString> ls_fpath = targetFolder(ls_path, row.fpath);
        madeFolders = missing + madeFolders;
        if (!ls_fpath) {
            failures.push_back(
                {packageName, QStringLiteral("설치 폴더를 만들 수 없습니다: ") + row.fpath});
            continue;
        }
        const long ll_res = run.stage(packageFile, *ls_fpath);
        if (ll_res != 0) {
            failures.push_back({packageName, extractionFailureText(ll_res)});
        }
    }
    if (failures.empty()) {
        if (const long ll_res = run.commit(); ll_res != 0) {
            failures.push_back({QStringLiteral("업그레이드"), extractionFailureText(ll_res)});
        }
    } else {
        run.abort();
    }
    if (!failures.empty()) {
        for (const QString& folder : std::as_const(madeFolders)) {
            QDir().rmdir(folder); // only while empty: nothing of anybody else's goes
        }
        port_.messageBox(QStringLiteral("Err!"), packageFailuresText(failures));
        return QStringLiteral("X");
    }
    return QStringLiteral("O");
}

} // namespace qlx
