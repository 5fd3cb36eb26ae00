#include "update/single_package_update.h"

#include "base/bytes.h"
#include "db/repository.h"
#include "db/transaction.h"
#include "package/package_failure.h"
#include "package/package_paths.h"
#include "package/package_signature.h"
#include "package/package_writer.h"
#include "platform/exclusive_file.h"
#include "platform/files.h"
#include "update/package_unpack.h"
#include "update/update_view.h"

#include <optional>
#include <utility>

namespace qlx {

SinglePackageUpdate::SinglePackageUpdate(UpdateView& view, UpdateDatabase database,
                                         PackageKeys packageKeys)
    : view_(view), database_(std::move(database)), packageKeys_(std::move(packageKeys)) {}

std::string SinglePackageUpdate::run(const std::string& ls_id, const std::string& ls_filename) {
    const std::string ls_path = currentFolder();
    view_.uf_bar("BAR", 1);
    view_.uf_bar("BAR", 2);

    if (!database_.connect()) {
        database_.showError(view_);
        return "X";
    }

    view_.uf_bar("BAR", 3);

    std::optional<Bytes> lb_tmp = readPackage(ls_id);
    if (!lb_tmp) {
        return {};
    }
    view_.uf_bar("BAR", 4);

    const std::string tmpFolder = joinPath(ls_path, "tmp");
    if (!isFolder(tmpFolder)) {
        makeFolder(tmpFolder);
    }
    const std::string packageFile = joinPath(tmpFolder, ls_filename);
    // A name that would leave tmp is never written: the extraction of the
    // unwritten file then fails with the usual message.
    const bool plain = isPlainFileName(ls_filename);
    ExclusiveFile held;
    if (plain) {
        writePackage(packageFile, lb_tmp, held);
    }
    lb_tmp.reset();
    view_.uf_bar("BAR", 5);
    return unpackPackage(packageFile, {ls_id, ls_filename}, ls_path, plain, held);
}

// The box for a missing package comes up before the connection is closed.
std::optional<Bytes> SinglePackageUpdate::readPackage(const std::string& ls_id) {
    Transaction& sqlca = database_.sqlca();
    std::optional<Bytes> lb_tmp = Bytes();
    selectPackageByUpdateId(sqlca, ls_id, lb_tmp);
    if (!lb_tmp) {
        view_.messageBox("File?", "File이 없습니다.");
    }
    sqlca.disconnect();
    return lb_tmp;
}

// A checked package stays locked from its first byte until it is unpacked,
// and it is checked as it lies on disk.
void SinglePackageUpdate::writePackage(const std::string& packageFile,
                                       std::optional<Bytes>& package, ExclusiveFile& held) {
    PackageWriter writer([this] { view_.processPendingEvents(); });
    if (!packageKeys_.empty()) {
        writer.write(packageFile, std::move(*package), held);
    } else {
        writer.write(packageFile, std::move(*package));
    }
}

std::string SinglePackageUpdate::unpackPackage(const std::string& packageFile,
                                               const PackageName& package,
                                               const std::string& ls_path, bool plain,
                                               ExclusiveFile& held) {
    // With a key, a package that could not be written and held is not
    // unpacked either: what lies under its name then was never checked.
    const bool checked = !packageKeys_.empty();
    const bool unpack = plain && (!checked || held.isOpen());
    if (unpack && checked) {
        const SignatureCheck check = checkPackageFile(packageKeys_, updatePlace(package.id), held);
        if (check != SignatureCheck::Signed) {
            view_.messageBox(kNotSignedTitle,
                             notSignedText(package.file, signatureFailureReason(check)));
            return "X";
        }
    }
    if (!unpack) {
        held.close();
        tellNotUnpacked(view_);
        return "X";
    }
    const bool unpacked = unpackIntoInstallation(view_, packageFile, ls_path);
    held.close();
    if (!unpacked) {
        return "X";
    }
    view_.uf_bar("BAR", 6);
    removeFile(packageFile);
    view_.uf_bar("BAR", 7);
    return "O";
}

} // namespace qlx
