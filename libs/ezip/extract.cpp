#include "libs/ezip/extract.h"

#include "libs/ezip/central_directory.h"
#include "libs/ezip/entry_name.h"
#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/run.h"
#include "platform/files.h"

namespace ezip {

int planArchive(const std::string& archivePath, const qlx::FileHandle& destination, Plan& plan,
                std::size_t& entryCount) {
    {
        const qlx::FileHandle archive = qlx::openForReading(archivePath, /*sequential=*/false);
        if (!archive.isOpen()) {
            return EZIP_E_OPEN;
        }
        const Limits limits;
        CentralDirectory directory;
        if (const int code = readCentralDirectory(archive, limits.maxEntries, directory);
            code != EZIP_OK) {
            return code;
        }
        if (const int code = planExtraction(directory, limits, plan); code != EZIP_OK) {
            return code;
        }
        entryCount = directory.entries.size();
    }
    return checkDestination(destination, plan);
}

int extract(const std::string& archivePath, const std::string& destinationPath) {
    // The journal lives in the destination under the staging prefix, which no
    // entry of an archive may use.
    const std::optional<std::string> real = qlx::realFolder(destinationPath);
    if (!real) {
        return EZIP_E_DESTINATION;
    }
    const std::string journal = *real + "/" + std::string(stagingPrefix) + "run";
    // Whatever a killed call left in this folder is settled first.
    if (const int code = recoverRun(journal); code == EZIP_E_ROLLBACK || code == EZIP_E_JOURNAL) {
        return code;
    }
    // Like other unpackers, a single archive is not flushed to disk: a killed
    // call is finished or undone by the next, a power loss is not guarded
    // against. The updater's runs are.
    if (const int code = beginRun(journal, /*durable=*/false); code != EZIP_OK) {
        return code;
    }
    if (const int code = stageIntoRun(journal, archivePath, *real); code != EZIP_OK) {
        abortRun(journal);
        return code;
    }
    const int code = commitRun(journal);
    // Every entry stands under the folder then; the next call settles the rest.
    return code == EZIP_E_INSTALLED_UNFLUSHED || code == EZIP_E_INSTALLED_UNCLEANED ? EZIP_OK
                                                                                    : code;
}

} // namespace ezip
