#pragma once

#include "base/bytes.h"
#include "package/package_key.h"
#include "update/update_database.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qlx {

class SettingsTable;
class UpdateView;
class w_filelist;
struct FetchedPackage;
struct FileListRow;
struct PackagePlace;

// How a build-list update ended, beyond its "O" or "X".
enum class UpdateOutcome {
    Installed,            // everything installed, or nothing to install
    InstalledWithWarning, // installed, but the settings or the disk failed afterwards
    DatabaseUnreachable,
    Failed, // a query or a package failed; nothing was installed
};

// The build-list update: every package of the installed build and of later
// builds, installed all at once or not at all.
class BuildListUpdate {
public:
    // `dw_1` lists the packages of the per-build table `fileTable`; `dw_2` is
    // the settings table, saved to `settingsPath` whenever the time stamp of
    // the last failure changes; `failureTimeStamp` gives the minutes from
    // 2010-01-01 00:00 to now, local time, when the database cannot be reached.
    // With `packageKeys`, a package that none of them signed for its row
    // fails, and so does a NULL one.
    BuildListUpdate(UpdateView& view, UpdateDatabase database, w_filelist& dw_1,
                    std::string fileTable, SettingsTable& dw_2, std::string settingsPath,
                    std::function<std::int64_t()> failureTimeStamp, PackageKeys packageKeys);

    // Runs the update from the installed build, given as the text `buildno`,
    // in the current folder: "X" when the database cannot be
    // reached or any package fails, else "O".
    std::string run(const std::string& buildno);
    [[nodiscard]] UpdateOutcome outcome() const { return outcome_; }

private:
    struct Staging;

    std::string update(const std::string& buildno);
    // Saves the settings, remembering why when they could not be saved.
    void saveSettings();
    // Stages every listed package, then installs them or tells what failed.
    std::string install(const std::string& installation, long count);
    // The package of row `index`, the copy kept in `uptFolder` when it is the
    // same signed package; no file for a NULL one, and with `readError` set
    // when the select failed. Runs on the reader's thread.
    FetchedPackage readPackage(const FileListRow& row, std::size_t index,
                               const std::string& uptFolder, std::string& readError);
    // The package of `row` streamed from the database into `partFile` and
    // checked on the way, to replace `packageFile` once it is unpacked.
    FetchedPackage fetchPackage(const FileListRow& row, const std::string& partFile,
                                const std::string& packageFile, const PackagePlace& place,
                                std::string& readError);
    // Connects, and records in the settings whether the database was
    // reached; false, after the box, when it was not.
    bool connectOrRecordFailure();
    // Stages one fetched package, or records why it failed.
    void stage(const FileListRow& row, FetchedPackage& fetched, Staging& staging);
    // Moves everything staged into place when nothing failed, and otherwise
    // undoes the run and tells each failure: "O" or "X".
    std::string finish(Staging& staging);

    UpdateView& view_;
    UpdateDatabase database_;
    w_filelist& dw_1_;
    std::string fileTable_;
    SettingsTable& dw_2_;
    std::string settingsPath_;
    std::function<std::int64_t()> failureTimeStamp_;
    PackageKeys packageKeys_;
    UpdateOutcome outcome_ = UpdateOutcome::Installed;
    std::string settingsError_;
};

} // namespace qlx
