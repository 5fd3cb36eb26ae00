#include "libs/ezip/extract.h"

#include "libs/ezip/archive_plan.h"
#include "libs/ezip/central_directory.h"
#include "libs/ezip/entry_name.h"
#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/install.h"
#include "libs/ezip/staging.h"

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace ezip {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    [[nodiscard]] int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

int extract(const char* archivePath, const char* destinationPath) {
    if (archivePath == nullptr || destinationPath == nullptr || *archivePath == '\0' ||
        *destinationPath == '\0') {
        return EZIP_E_ARGUMENT;
    }
    // The destination must exist: the callers create their target folders,
    // and a path mangled on its way here must not grow a stray tree.
    const Descriptor destination(open(destinationPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (destination.get() < 0) {
        return EZIP_E_DESTINATION;
    }
    Plan plan;
    std::size_t entryCount = 0;
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
    if (const int code = checkDestination(destination.get(), plan); code != EZIP_OK) {
        return code;
    }
    // Inside the destination, so that the final renames stay on one file system.
    std::string staging =
        std::string(destinationPath) + "/" + std::string(stagingPrefix) + "XXXXXX";
    if (mkdtemp(staging.data()) == nullptr) {
        return EZIP_E_STAGING;
    }
    const std::string stagingName = staging.substr(staging.rfind('/') + 1);
    const Descriptor stagingFolder(openat(destination.get(), stagingName.c_str(),
                                          O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    int code = stagingFolder.get() < 0 ? EZIP_E_STAGING : EZIP_OK;
    try {
        if (code == EZIP_OK) {
            code = inflateAll(archivePath, entryCount, plan, stagingFolder.get());
        }
        if (code == EZIP_OK) {
            code = installStaged(destination.get(), stagingFolder.get(), plan);
        }
    } catch (...) {
        // Only inflating can throw (out of memory), before any file is moved.
        code = EZIP_E_INTERNAL;
    }
    try {
        removeStaging(destination.get(), stagingName.c_str());
    } catch (...) {
        // The staging folder stays behind; the destination's own files are sound.
    }
    return code;
}

} // namespace ezip
