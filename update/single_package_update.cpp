#include "update/single_package_update.h"

#include "update/bytes.h"
#include "update/file_system.h"
#include "update/package_paths.h"
#include "update/package_writer.h"
#include "update/repository.h"
#include "update/transaction.h"
#include "update/update_view.h"
#include "update/vexa_unzip.h"

#include <optional>
#include <utility>

namespace qlx {

SinglePackageUpdate::SinglePackageUpdate(UpdateView& view, UpdateDatabase database)
    : view_(view), database_(std::move(database)) {}

std::string SinglePackageUpdate::run(const std::string& ls_id, const std::string& ls_filename) {
    const std::string ls_path = currentFolder();
    view_.uf_bar("BAR", 1);
    view_.uf_bar("BAR", 2);

    if (!database_.connect()) {
        database_.showError(view_);
        return "X";
    }

    view_.uf_bar("BAR", 3);

    Transaction& sqlca = database_.sqlca();
    std::optional<Bytes> lb_tmp = Bytes();
    selectPackageByUpdateId(sqlca, ls_id, lb_tmp);
    if (!lb_tmp) {
        view_.messageBox("File?", "File이 없습니다.");
        sqlca.disconnect();
        return {};
    }
    sqlca.disconnect();
    view_.uf_bar("BAR", 4);

    const std::string tmpFolder = joinPath(ls_path, "tmp");
    if (!isFolder(tmpFolder)) {
        makeFolder(tmpFolder);
    }
    const std::string packageFile = joinPath(tmpFolder, ls_filename);
    // A name that would leave tmp is never written: the extraction of the
    // unwritten file then fails with the usual message.
    const bool plain = isPlainFileName(ls_filename);
    if (plain) {
        PackageWriter(view_).write(packageFile, std::move(*lb_tmp));
    }
    lb_tmp.reset();
    view_.uf_bar("BAR", 5);

    const long ll_res = plain ? vexa_unzip(packageFile, ls_path) : -1;
    if (ll_res != 0) {
        view_.messageBox("확인!", "업그레이중 오류가 있습니다. \r\n본사에 문의하세요.");
        return "X";
    }
    view_.uf_bar("BAR", 6);
    removeFile(packageFile);
    view_.uf_bar("BAR", 7);
    return "O";
}

} // namespace qlx
