#include "libs/ezip/extract.h"

#include "libs/ezip/central_directory.h"
#include "libs/ezip/descriptor.h"
#include "libs/ezip/entry_name.h"
#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/run.h"
#include "libs/ezip/run_files.h"

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace ezip {

namespace {

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); } // NOLINT(cppcoreguidelines-no-malloc)
};

} // namespace

int planArchive(const char* archivePath, int destinationFd, Plan& plan, std::size_t& entryCount) {
    {
        const Descriptor archive(open(archivePath, O_RDONLY | O_CLOEXEC));
        if (archive.get() < 0) {
            return EZIP_E_OPEN;
        }
        const Limits limits;
        CentralDirectory directory;
        if (const int code = readCentralDirectory(archive.get(), limits.maxEntries, directory);
            code != EZIP_OK) {
            return code;
        }
        if (const int code = planExtraction(directory, limits, plan); code != EZIP_OK) {
            return code;
        }
        entryCount = directory.entries.size();
    }
    return checkDestination(destinationFd, plan);
}

int extract(const char* archivePath, const char* destinationPath) {
    if (archivePath == nullptr || destinationPath == nullptr || *archivePath == '\0' ||
        *destinationPath == '\0') {
        return EZIP_E_ARGUMENT;
    }
    // The journal lives in the destination under the staging prefix, which no
    // entry of an archive may use.
    const std::unique_ptr<char, FreeDeleter> real(realpath(destinationPath, nullptr));
    if (!real || files::kindOf(real.get()) != files::Kind::Folder) {
        return EZIP_E_DESTINATION;
    }
    const std::string journal = std::string(real.get()) + "/" + std::string(stagingPrefix) + "run";
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
    if (const int code = stageIntoRun(journal, archivePath, real.get()); code != EZIP_OK) {
        abortRun(journal);
        return code;
    }
    return commitRun(journal);
}

} // namespace ezip
