#include "update/package_unpack.h"

#include "libs/ezip/ezip_codes.h"
#include "package/package_failure.h"
#include "package/package_run.h"
#include "platform/files.h"
#include "update/update_view.h"

namespace qlx {

void tellNotUnpacked(UpdateView& view, const std::string& busy) {
    const std::string text = "업그레이중 오류가 있습니다. \r\n본사에 문의하세요.";
    view.messageBox("확인!", busy.empty() ? text : busy + ": " + kInUseReason + "\r\n" + text);
}

bool unpackIntoInstallation(UpdateView& view, const std::string& archive,
                            const std::string& installation) {
    const std::string journal = runJournalPath(installation);
    // What a killed run left is settled before this one may begin.
    PackageRun::recover(journal);
    const std::string uptFolder = joinPath(installation, "upt");
    if (!isFolder(uptFolder)) {
        makeFolder(uptFolder);
    }
    PackageRun run(journal);
    if (run.stage(archive, installation) != 0) {
        run.abort();
        tellNotUnpacked(view);
        return false;
    }
    const long result = run.commit();
    if (installedDespite(result)) {
        view.messageBox("확인!", installedWithDiskErrorText(result));
        return true;
    }
    if (result == 0) {
        return true;
    }
    const PackageFailure failure = commitFailure(result, installation, run);
    tellNotUnpacked(view, result == EZIP_E_IN_USE ? failure.file : std::string());
    return false;
}

} // namespace qlx
