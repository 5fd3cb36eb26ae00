#include "update/build_list_update.h"

#include "db/repository.h"
#include "db/transaction.h"
#include "libs/ezip/ezip_codes.h"
#include "package/package_failure.h"
#include "package/package_paths.h"
#include "package/package_prefetch.h"
#include "package/package_run.h"
#include "package/package_stream.h"
#include "package/target_folder.h"
#include "package/vexa_unzip.h"
#include "platform/files.h"
#include "settings/settings_table.h"
#include "update/kept_package.h"
#include "update/number_text.h"
#include "update/run_times.h"
#include "update/update_view.h"

#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace qlx {

namespace {

const std::string kTimeStampCode = "QL_UPT_TIME";

// Packages are fetched into a folder of the run's own beside the kept copies,
// under names no package can have, and each is renamed over its kept copy
// once it has been unpacked.
std::string fetchFolderIn(const std::string& uptFolder) {
    return joinPath(uptFolder, ".qlx_fetch");
}

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

// The rows whose name appears twice in one build: which of the two is meant
// cannot be told.
std::set<std::pair<std::string, std::int64_t>> listedTwice(const std::vector<FileListRow>& rows) {
    std::set<std::pair<std::string, std::int64_t>> seen;
    std::set<std::pair<std::string, std::int64_t>> twice;
    for (const FileListRow& row : rows) {
        if (!seen.insert({row.filename, row.buildno}).second) {
            twice.insert({row.filename, row.buildno});
        }
    }
    return twice;
}

// Lets go of a package that is not used: a fresh copy goes, a kept one stays.
void discardPackage(FetchedPackage& fetched) {
    if (fetched.file) {
        fetched.file->close();
        fetched.file.reset();
    }
    if (!fetched.keepAs.empty()) {
        removeFile(fetched.path);
        fetched.keepAs.clear();
    }
}

// Lets go of an unpacked package; a fresh copy now replaces the one kept in
// the package folder. False when it cannot.
bool keepPackage(FetchedPackage& fetched) {
    const bool closed = !fetched.file || fetched.file->close();
    fetched.file.reset();
    if (fetched.keepAs.empty()) {
        return closed;
    }
    const bool moved = closed && renameOver(fetched.path, fetched.keepAs);
    if (!moved) {
        removeFile(fetched.path);
    }
    fetched.path = fetched.keepAs;
    fetched.keepAs.clear();
    return moved;
}

} // namespace

BuildListUpdate::BuildListUpdate(UpdateView& view, UpdateDatabase database, w_filelist& dw_1,
                                 std::string fileTable, SettingsTable& dw_2,
                                 std::string settingsPath,
                                 std::function<std::int64_t()> failureTimeStamp,
                                 PackageKeys packageKeys)
    : view_(view), database_(std::move(database)), dw_1_(dw_1), fileTable_(std::move(fileTable)),
      dw_2_(dw_2), settingsPath_(std::move(settingsPath)),
      failureTimeStamp_(std::move(failureTimeStamp)), packageKeys_(std::move(packageKeys)) {}

// What one run gathers while it stages its packages.
struct BuildListUpdate::Staging {
    std::string installation;
    std::string uptFolder;
    PackageRun run;
    std::vector<PackageFailure> failures;
    // Target folders made for this run, which a failed run takes away again.
    std::vector<std::string> madeFolders;
    RunTimes times;
};

std::string BuildListUpdate::run(const std::string& buildno) {
    const std::string result = update(buildno);
    // The files stay installed; only the record of this run is missing.
    if (!settingsError_.empty()) {
        view_.messageBox("확인!", "설정 파일을 저장하지 못했습니다.\r\n" + settingsError_);
        if (outcome_ == UpdateOutcome::Installed) {
            outcome_ = UpdateOutcome::InstalledWithWarning;
        }
    }
    return result;
}

std::string BuildListUpdate::update(const std::string& buildno) {
    const std::string installation = currentFolder();
    // A run that was killed is finished or undone before anything else, so
    // that the client never starts on a half-moved installation.
    PackageRun::recover(runJournalPath(installation));

    if (!connectOrRecordFailure()) {
        outcome_ = UpdateOutcome::DatabaseUnreachable;
        return "X";
    }
    Transaction& sqlca = database_.sqlca();
    dw_1_.setTransObject(sqlca);
    view_.uf_bar("SET", 50);
    view_.uf_bar("BAR", 1);

    const long count = dw_1_.retrieve(toBuildNumber(buildno));
    // A list that could not be read is no empty list: nothing may look done.
    if (count < 0) {
        database_.showError(view_);
        outcome_ = UpdateOutcome::Failed;
        return "X";
    }
    if (count == 0) {
        return "O";
    }
    view_.uf_bar("SET", count);
    return install(installation, count);
}

std::string BuildListUpdate::install(const std::string& installation, long count) {
    const std::vector<FileListRow>& rows = dw_1_.rows();
    const std::set<std::pair<std::string, std::int64_t>> twice = listedTwice(rows);
    // Written by the reader for row i before it hands over row i.
    std::vector<std::string> readErrors(rows.size());
    // Every package is staged first; the installation changes only when all
    // of them are sound, and then all at once.
    Staging staging{installation,
                    joinPath(installation, "upt"),
                    PackageRun(runJournalPath(installation)),
                    {},
                    {},
                    {}};
    // What a run that was stopped left half-fetched is of no use to this one.
    const std::string fetchFolder = fetchFolderIn(staging.uptFolder);
    if (isFolder(fetchFolder)) {
        removeFolderTree(fetchFolder);
    }
    PackagePrefetch packages(rows.size(), [&](std::size_t index) -> FetchedPackage {
        const FileListRow& row = rows.at(index);
        if (twice.contains({row.filename, row.buildno})) {
            return {};
        }
        const auto from = RunTimes::Clock::now();
        FetchedPackage fetched = readPackage(row, index, staging.uptFolder, readErrors[index]);
        staging.times.add(RunTimes::Read, from);
        return fetched;
    });
    for (long number = 1; number <= count; ++number) {
        view_.uf_bar("BAR", number);
        const auto index = static_cast<std::size_t>(number - 1);
        const auto waitFrom = RunTimes::Clock::now();
        FetchedPackage fetched = packages.take(index, [this] { view_.processPendingEvents(); });
        staging.times.add(RunTimes::Wait, waitFrom);
        const FileListRow& row = rows.at(index);
        if (twice.contains({row.filename, row.buildno})) {
            staging.failures.push_back(
                {row.filename + ".zip", duplicatePackageReason(row.buildno)});
        } else if (!readErrors[index].empty()) {
            staging.failures.push_back(
                {row.filename + ".zip", unreadablePackageReason(readErrors[index])});
        } else if (fetched.found) {
            stage(row, fetched, staging);
        } else if (!packageKeys_.empty()) {
            staging.failures.push_back({row.filename + ".zip", kEmptyPackageReason});
        }
    }
    std::string outcome = finish(staging);
    // Every package taken was kept or discarded: the folder is empty now.
    removeEmptyFolder(fetchFolder);
    return outcome;
}

FetchedPackage BuildListUpdate::readPackage(const FileListRow& row, std::size_t index,
                                            const std::string& uptFolder, std::string& readError) {
    const std::string packageFile = joinPath(uptFolder, row.filename + ".zip");
    const PackagePlace place = buildPlace(fileTable_, row.filename, row.fpath, row.buildno);
    // A signed package kept from an earlier run is not sent again.
    if (!packageKeys_.empty() && isPlainFileName(row.filename)) {
        std::unique_ptr<ExclusiveFile> kept =
            keptPackage(database_.sqlca(), fileTable_, row, packageFile, packageKeys_, place);
        if (kept) {
            const std::uint64_t size = kept->size().value_or(0);
            return {std::move(kept), packageFile, {}, size, true, false, SignatureCheck::Signed};
        }
    }
    return fetchPackage(row, joinPath(fetchFolderIn(uptFolder), std::to_string(index) + ".part"),
                        packageFile, place, readError);
}

FetchedPackage BuildListUpdate::fetchPackage(const FileListRow& row, const std::string& partFile,
                                             const std::string& packageFile,
                                             const PackagePlace& place, std::string& readError) {
    Transaction& sqlca = database_.sqlca();
    if (!isFolder(parentOf(partFile))) {
        makeFolders(parentOf(partFile));
    }
    PackageStream stream(packageKeys_, place);
    bool written = stream.open(partFile);
    bool isNull = false;
    streamPackageOfRow(
        sqlca, fileTable_, row,
        [&](const char* data, std::size_t size) {
            return written = written && stream.add(data, size);
        },
        isNull);
    const long code = sqlca.SQLCode.value_or(0);
    FetchedPackage fetched{stream.takeFile(), partFile, packageFile, stream.size(), true};
    if (code == 0 && isNull) {
        discardPackage(fetched);
        return {};
    }
    if (!written || code != 0) {
        discardPackage(fetched);
        fetched.writeFailed = !written;
        if (written) {
            readError = sqlca.SQLErrText.empty() ? "행이 없습니다 (" + std::to_string(code) + ")"
                                                 : sqlca.SQLErrText;
            return {};
        }
        return fetched;
    }
    // The run's commit flushes the whole file system, this copy included.
    fetched.file->startWriteBack();
    fetched.signature = stream.finish();
    // A package that is not soundly signed is never unpacked, and never
    // replaces the copy an earlier run kept.
    if (!packageKeys_.empty() && fetched.signature != SignatureCheck::Signed) {
        discardPackage(fetched);
    }
    return fetched;
}

void BuildListUpdate::saveSettings() {
    if (!dw_2_.save(settingsPath_)) {
        settingsError_ = dw_2_.saveError();
    }
}

bool BuildListUpdate::connectOrRecordFailure() {
    if (!database_.connect(&view_)) {
        database_.showError(view_);
        dw_2_.uf_set(kTimeStampCode, std::to_string(failureTimeStamp_()), "O");
        saveSettings();
        return false;
    }
    // The cleared stamp is on disk before any package is fetched, so it stays
    // true even when the update stops later.
    dw_2_.uf_set(kTimeStampCode, std::string(), "O");
    saveSettings();
    return true;
}

void BuildListUpdate::stage(const FileListRow& row, FetchedPackage& fetched, Staging& staging) {
    const std::string packageName = row.filename + ".zip";
    const auto fail = [&](std::string reason) {
        discardPackage(fetched);
        staging.failures.push_back({packageName, std::move(reason)});
    };
    // A name that would leave the package folder is never written.
    if (!isPlainFileName(row.filename)) {
        return fail("파일 이름이 올바르지 않습니다");
    }
    if (fetched.writeFailed) {
        return fail("패키지 파일을 쓸 수 없습니다: " + joinPath(staging.uptFolder, packageName));
    }
    // With a key, the file was checked as it came from the database, and it
    // stays locked from its first byte until it is unpacked: the bytes checked
    // are the bytes unpacked.
    if (!packageKeys_.empty() && fetched.signature != SignatureCheck::Signed) {
        return fail(signatureFailureReason(fetched.signature));
    }
    const std::vector<std::string> missing = missingFolders(staging.installation, row.fpath);
    const std::optional<std::string> target = targetFolder(staging.installation, row.fpath);
    // Parents last, so that a failed run, taking them away from the back,
    // empties a folder before its parent.
    staging.madeFolders.insert(staging.madeFolders.end(), missing.rbegin(), missing.rend());
    if (!target) {
        // A sound package all the same, kept for the next run.
        keepPackage(fetched);
        return fail("설치 폴더를 만들 수 없습니다: " + row.fpath);
    }
    const auto stageFrom = RunTimes::Clock::now();
    const long result = staging.run.stage(fetched.path, *target);
    staging.times.add(RunTimes::Stage, stageFrom);
    const int method = result == EZIP_E_METHOD ? refusedMethod(fetched.path) : -1;
    const auto keepFrom = RunTimes::Clock::now();
    const bool kept = keepPackage(fetched);
    staging.times.add(RunTimes::Write, keepFrom);
    if (result != 0) {
        return fail(method >= 0 ? unsupportedMethodText(method) : extractionFailureText(result));
    }
    if (!kept) {
        fail("패키지 파일을 쓸 수 없습니다: " + fetched.keepAs);
    }
}

std::string BuildListUpdate::finish(Staging& staging) {
    if (staging.failures.empty()) {
        const auto commitFrom = RunTimes::Clock::now();
        const long result = staging.run.commit();
        staging.times.add(RunTimes::Commit, commitFrom);
        staging.times.save();
        // Every file is in place: the run failed at nothing the user needs
        // redone, and the next start settles what is left.
        if (installedDespite(result)) {
            view_.messageBox("확인!", installedWithDiskErrorText(result));
            outcome_ = UpdateOutcome::InstalledWithWarning;
            return "O";
        }
        if (result != 0) {
            staging.failures.push_back(commitFailure(result, staging.installation, staging.run));
        }
    } else {
        staging.run.abort();
    }
    if (staging.failures.empty()) {
        return "O";
    }
    outcome_ = UpdateOutcome::Failed;
    for (auto folder = staging.madeFolders.rbegin(); folder != staging.madeFolders.rend();
         ++folder) {
        removeEmptyFolder(*folder); // only while empty: nothing of anybody else's goes
    }
    view_.messageBox("Err!", packageFailuresText(staging.failures));
    return "X";
}

} // namespace qlx
