#include "update/ftp_update.h"

#include "package/package_failure.h"
#include "package/package_paths.h"
#include "package/package_signature.h"
#include "platform/exclusive_file.h"
#include "platform/files.h"
#include "update/ftp_client.h"
#include "update/package_unpack.h"
#include "update/update_view.h"

#include <utility>

namespace qlx {

namespace {
const char* const kUser = "vortaupt";
const char* const kPassword = "mavik#(%~&!*";
const char* const kFolder = "Quillon_Down";
} // namespace

FtpUpdate::FtpUpdate(UpdateView& view, std::string ftpServer, PackageKeys packageKeys)
    : view_(view), ftpServer_(std::move(ftpServer)), packageKeys_(std::move(packageKeys)) {}

std::string FtpUpdate::run(const std::string& ls_filename) {
    const std::string ls_path = currentFolder();
    view_.uf_bar("BAR", 1);
    view_.uf_bar("BAR", 2);

    if (!openPackageFolder()) {
        return "X";
    }

    const std::string tmpFolder = joinPath(ls_path, "tmp");
    const std::string packageFile = joinPath(tmpFolder, ls_filename);
    if (!download(ls_filename, packageFile)) {
        return "X";
    }
    view_.uf_bar("BAR", 5);

    // Here, so that a refused download is let go after the connection is closed.
    ExclusiveFile held;
    if (!unpackPackage(packageFile, ls_filename, ls_path, held)) {
        ftpdisconnect();
        return "X";
    }
    view_.uf_bar("BAR", 6);
    ftpdisconnect();
    removeFile(packageFile);
    removeFile(joinPath(tmpFolder, "quillon.ini"));
    view_.uf_bar("BAR", 7);
    return "O";
}

// Logs in and changes to the packages' folder; false once the failure is
// reported and the connection closed.
bool FtpUpdate::openPackageFolder() {
    long ll_res = ftpconnect(ftpServer_, kUser, kPassword);
    if (ll_res != 0) {
        view_.messageBox("접속", "서버에 접속중 에러 발생.");
        return false;
    }
    view_.uf_bar("BAR", 3);

    ll_res = ftpsetcurrentdir(kFolder);
    if (ll_res != 0) {
        view_.messageBox("접속", "서버에 폴더 변경중 에러발생");
        ftpdisconnect();
        return false;
    }
    view_.uf_bar("BAR", 4);
    return true;
}

// False once the failure is reported and the connection closed.
bool FtpUpdate::download(const std::string& ls_filename, const std::string& packageFile) {
    // A name that would leave tmp is neither deleted nor downloaded; it fails
    // as a download does.
    const bool plain = isPlainFileName(ls_filename);
    if (plain) {
        removeFile(packageFile);
    }
    const long ll_res = plain ? ftpgetfile(ls_filename, packageFile, 1) : -1;
    if (ll_res < 0) {
        view_.messageBox("ini", "서버로부터 업그레이드 파일 가져오기 실패했습니다.");
        ftpdisconnect();
        return false;
    }
    return true;
}

// False once the failure is reported; the caller still holds the connection.
bool FtpUpdate::unpackPackage(const std::string& packageFile, const std::string& ls_filename,
                              const std::string& ls_path, ExclusiveFile& held) {
    // With a key the download is held from here until it is unpacked, and
    // checked as it lies on disk; one that cannot be held is not unpacked.
    const bool checked = !packageKeys_.empty();
    if (checked && held.openExisting(packageFile)) {
        const SignatureCheck check = checkPackageFile(packageKeys_, ftpPlace(ls_filename), held);
        if (check != SignatureCheck::Signed) {
            view_.messageBox(kNotSignedTitle,
                             notSignedText(ls_filename, signatureFailureReason(check)));
            return false;
        }
    }
    if (checked && !held.isOpen()) {
        tellNotUnpacked(view_);
        return false;
    }
    const bool unpacked = unpackIntoInstallation(view_, packageFile, ls_path);
    held.close();
    return unpacked;
}

} // namespace qlx
