// The FTP update: the package "/FILE=" from the update FTP server.
#include "update/ftp_client.h"
#include "update/package_paths.h"
#include "update/vexa_unzip.h"
#include "window/w_vercheck.h"
#include "window/window_port.h"

#include <QFile>

namespace qlx {

namespace {
const QString kUser = QStringLiteral("vortaupt");
const QString kPassword = QStringLiteral("mavik#(%~&!*");
const QString kFolder = QStringLiteral("Quillon_Down");
} // namespace

QString w_vercheck::uf_upgrade(const OptString& /*data*/) {
    const QString ls_path = currentFolder();
    uf_bar(QStringLiteral("BAR"), 1);
    uf_bar(QStringLiteral("BAR"), 2);

    long ll_res = ftpconnect(services_.ftpServer, kUser, kPassword);
    if (ll_res != 0) {
        port_.messageBox(QStringLiteral("접속"), QStringLiteral("서버에 접속중 에러 발생."));
        return QStringLiteral("X");
    }
    uf_bar(QStringLiteral("BAR"), 3);

    ll_res = ftpsetcurrentdir(kFolder);
    if (ll_res != 0) {
        port_.messageBox(QStringLiteral("접속"), QStringLiteral("서버에 폴더 변경중 에러발생"));
        ftpdisconnect();
        return QStringLiteral("X");
    }
    uf_bar(QStringLiteral("BAR"), 4);

    const QString ls_filename = uf_getstring(QStringLiteral("/FILE="), is_call_);
    const QString tmpFolder = joinPath(ls_path, QStringLiteral("tmp"));
    const QString packageFile = joinPath(tmpFolder, ls_filename);
    // A name that would leave tmp is neither deleted nor downloaded; it fails
    // as a download does.
    const bool plain = isPlainFileName(ls_filename);
    if (plain) {
        QFile::remove(packageFile);
    }
    ll_res = plain ? ftpgetfile(ls_filename, packageFile, 1) : -1;
    if (ll_res < 0) {
        port_.messageBox(QStringLiteral("ini"),
                         QStringLiteral("서버로부터 업그레이드 파일 가져오기 실패했습니다."));
        ftpdisconnect();
        return QStringLiteral("X");
    }
    uf_bar(QStringLiteral("BAR"), 5);

    ll_res = vexa_unzip(packageFile, ls_path);
    if (ll_res != 0) {
        port_.messageBox(QStringLiteral("확인!"),
                         QStringLiteral("업그레이중 오류가 있습니다. \r\n본사에 문의하세요."));
        ftpdisconnect();
        return QStringLiteral("X");
    }
    uf_bar(QStringLiteral("BAR"), 6);
    ftpdisconnect();
    QFile::remove(packageFile);
    QFile::remove(joinPath(tmpFolder, QStringLiteral("quillon.ini")));
    uf_bar(QStringLiteral("BAR"), 7);
    return QStringLiteral("O");
}

} // namespace qlx
