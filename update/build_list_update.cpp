#include "update/build_list_update.h"

#include "db/repository.h"
#include "db/transaction.h"
#include "package/package_failure.h"
#include "package/package_paths.h"
#include "package/package_prefetch.h"
#include "package/package_run.h"
#include "package/package_writer.h"
#include "package/target_folder.h"
#include "platform/exclusive_file.h"
#include "platform/files.h"
#include "settings/settings_table.h"
#include "update/number_text.h"
#include "update/update_view.h"

#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace qlx {

namespace {

const std::string kTimeStampCode = "QL_UPT_TIME";

// The numeric value of an argument, truncated toward zero ("12.0" is build
// 12); text that is not a number is 0, and so is a number beyond 32 bits: a
// build list from 0 installs too much, never too little.
std::int32_t toBuildNumber(const std::string& text) {
    const std::optional<double> number = numberInText(trimBlanks(text));
    if (!number) {
        return 0;
    }
    const double value = std::trunc(*number);
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return 0;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace

BuildListUpdate::BuildListUpdate(UpdateView& view, UpdateDatabase database, w_filelist& dw_1,
                                 std::string fileTable, SettingsTable& dw_2,
                                 std::string settingsPath,
                                 std::function<std::int64_t()> failureTimeStamp,
                                 std::optional<PackageKey> packageKey)
    : view_(view), database_(std::move(database)), dw_1_(dw_1), fileTable_(std::move(fileTable)),
      dw_2_(dw_2), settingsPath_(std::move(settingsPath)),
      failureTimeStamp_(std::move(failureTimeStamp)), packageKey_(packageKey) {}

std::string BuildListUpdate::run(const std::string& buildno) {
    const std::string ls_path = currentFolder();
    // A run that was killed is finished or undone before anything else, so
    // that the client never starts on a half-moved installation.
    const std::string journal = runJournalPath(ls_path);
    PackageRun::recover(journal);

    if (!database_.connect()) {
        database_.showError(view_);
        dw_2_.uf_set(kTimeStampCode, std::to_string(failureTimeStamp_()), "O");
        dw_2_.save(settingsPath_);
        return "X";
    }

    // The cleared stamp is on disk before any package is fetched, so it stays
    // true even when the update stops later.
    dw_2_.uf_set(kTimeStampCode, std::string(), "O");
    dw_2_.save(settingsPath_);

    Transaction& sqlca = database_.sqlca();
    dw_1_.setTransObject(sqlca);
    const std::int32_t ll_buildno = toBuildNumber(buildno);

    view_.uf_bar("SET", 50);
    view_.uf_bar("BAR", 1);

    const long ll_cnt = dw_1_.retrieve(ll_buildno);
    if (ll_cnt == 0) {
        return "O";
    }
    view_.uf_bar("SET", ll_cnt);

    PackageWriter writer([this] { view_.processPendingEvents(); });
    const std::string uptFolder = joinPath(ls_path, "upt");
    // Every package is staged first; the installation changes only when all
    // of them are sound, and then all at once.
    PackageRun run(journal);
    std::vector<PackageFailure> failures;
    // Target folders made for this run, which a failed run takes away again.
    std::vector<std::string> madeFolders;
    PackagePrefetch packages(
        dw_1_.rows().size(),
        [&](std::size_t index) {
            std::optional<Bytes> bytes{Bytes()};
            selectPackageOfRow(sqlca, fileTable_, dw_1_.rows().at(index), bytes);
            return bytes;
        },
        packageKey_);
    for (long ll_no = 1; ll_no <= ll_cnt; ++ll_no) {
        view_.uf_bar("BAR", ll_no);
        const FileListRow& row = dw_1_.rows().at(static_cast<std::size_t>(ll_no - 1));
        const std::string& ls_filename = row.filename;
        const std::string packageName = ls_filename + ".zip";

        FetchedPackage fetched = packages.take(static_cast<std::size_t>(ll_no - 1));
        std::optional<Bytes>& lb_tmp = fetched.bytes;
        if (!lb_tmp) {
            continue;
        }
        // A name that would leave the package folder is never written.
        if (!isPlainFileName(ls_filename)) {
            failures.push_back({packageName, "파일 이름이 올바르지 않습니다"});
            continue;
        }
        if (!isFolder(uptFolder)) {
            makeFolder(uptFolder);
        }
        const std::string packageFile = joinPath(uptFolder, packageName);
        // With a key, these bytes were checked as they came from the
        // database, and the file they go to stays locked from its first byte
        // until it is unpacked: the bytes checked are the bytes unpacked.
        ExclusiveFile held;
        const int written = packageKey_ ? writer.write(packageFile, std::move(*lb_tmp), held)
                                        : writer.write(packageFile, std::move(*lb_tmp));
        lb_tmp.reset();
        if (written != 1) {
            failures.push_back({packageName, "패키지 파일을 쓸 수 없습니다: " + packageFile});
            continue;
        }
        if (packageKey_ && !fetched.signedByPublisher) {
            failures.push_back({packageName, kNotSignedReason});
            continue;
        }
        std::vector<std::string> missing = missingFolders(ls_path, row.fpath);
        const std::optional<std::string> ls_fpath = targetFolder(ls_path, row.fpath);
        missing.insert(missing.end(), madeFolders.begin(), madeFolders.end());
        madeFolders = std::move(missing);
        if (!ls_fpath) {
            failures.push_back({packageName, "설치 폴더를 만들 수 없습니다: " + row.fpath});
            continue;
        }
        const long ll_res = run.stage(packageFile, *ls_fpath);
        if (ll_res != 0) {
            failures.push_back({packageName, extractionFailureText(ll_res)});
        }
    }
    if (failures.empty()) {
        if (const long ll_res = run.commit(); ll_res != 0) {
            failures.push_back({"업그레이드", extractionFailureText(ll_res)});
        }
    } else {
        run.abort();
    }
    if (!failures.empty()) {
        for (const std::string& folder : madeFolders) {
            removeEmptyFolder(folder); // only while empty: nothing of anybody else's goes
        }
        view_.messageBox("Err!", packageFailuresText(failures));
        return "X";
    }
    return "O";
}

} // namespace qlx
