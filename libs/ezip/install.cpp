#include "libs/ezip/install.h"

#include "libs/ezip/ezip_codes.h"
#include "libs/ezip/staging.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace ezip {

namespace {

enum class Backup { None, Linked, Moved };

struct Step {
    const PlannedFile* file;
    Backup backup;
};

std::string backupName(const PlannedFile& file) {
    return "b" + std::to_string(file.index);
}

bool undo(int destinationFd, int stagingFd, const std::vector<Step>& steps,
          const std::vector<std::string_view>& createdFolders) {
    bool clean = true;
    for (std::size_t i = steps.size(); i-- > 0;) {
        const Step& step = steps[i];
        const char* path = step.file->path.c_str();
        if (step.backup == Backup::None) {
            clean = unlinkat(destinationFd, path, 0) == 0 && clean;
        } else {
            clean = renameat(stagingFd, backupName(*step.file).c_str(), destinationFd, path) == 0 &&
                    clean;
        }
    }
    for (std::size_t i = createdFolders.size(); i-- > 0;) {
        const std::string_view folder = createdFolders[i];
        // Each view covers a whole std::string, so it ends in a NUL.
        clean = unlinkat(destinationFd, folder.data(), AT_REMOVEDIR) == 0 && clean;
    }
    return clean;
}

// Records every change in `createdFolders` and `steps`, whose capacity is
// reserved, so that the caller can undo them even after an exception.
int installInto(int destinationFd, int stagingFd, const Plan& plan,
                std::vector<std::string_view>& createdFolders, std::vector<Step>& steps) {
    const auto fail = [&] {
        return undo(destinationFd, stagingFd, steps, createdFolders) ? EZIP_E_INSTALL
                                                                     : EZIP_E_ROLLBACK;
    };
    struct stat info {};
    for (const auto& folder : plan.folders) {
        if (mkdirat(destinationFd, folder.c_str(), 0777) == 0) {
            createdFolders.emplace_back(folder);
            continue;
        }
        if (errno != EEXIST ||
            fstatat(destinationFd, folder.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(info.st_mode)) {
            return fail();
        }
    }
    const std::unordered_set<std::string_view> fresh(createdFolders.begin(), createdFolders.end());
    for (const auto& file : plan.files) {
        const char* path = file.path.c_str();
        Backup backup = Backup::None;
        if (fresh.count(parentOf(file.path)) != 0) {
            // A folder created just now holds nothing to replace.
        } else if (fstatat(destinationFd, path, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISDIR(info.st_mode)) {
                return fail();
            }
            // A package made on Windows would otherwise turn an installed
            // program into a file nobody can start.
            if (!file.unixMode && S_ISREG(info.st_mode) &&
                fchmodat(stagingFd, stagedName(file).c_str(), info.st_mode & 0777U, 0) != 0) {
                return fail();
            }
            const std::string keep = backupName(file);
            if (linkat(destinationFd, path, stagingFd, keep.c_str(), 0) == 0) {
                backup = Backup::Linked;
            } else if (renameat(destinationFd, path, stagingFd, keep.c_str()) == 0) {
                backup = Backup::Moved;
            } else {
                return fail();
            }
        } else if (errno != ENOENT) {
            return fail();
        }
        if (renameat(stagingFd, stagedName(file).c_str(), destinationFd, path) != 0) {
            if (backup != Backup::None) {
                // Not yet replaced: only the backup is to be dropped or moved back.
                steps.push_back({&file, backup});
                if (backup == Backup::Linked) {
                    steps.pop_back();
                    unlinkat(stagingFd, backupName(file).c_str(), 0);
                }
            }
            return fail();
        }
        steps.push_back({&file, backup});
    }
    return EZIP_OK;
}

} // namespace

int installStaged(int destinationFd, int stagingFd, const Plan& plan) {
    std::vector<std::string_view> createdFolders;
    std::vector<Step> steps;
    try {
        createdFolders.reserve(plan.folders.size());
        steps.reserve(plan.files.size());
    } catch (...) {
        return EZIP_E_INTERNAL;
    }
    try {
        return installInto(destinationFd, stagingFd, plan, createdFolders, steps);
    } catch (...) {
        return undo(destinationFd, stagingFd, steps, createdFolders) ? EZIP_E_INSTALL
                                                                     : EZIP_E_ROLLBACK;
    }
}

namespace {

// Removes the contents of the folder open as `fd` (closing it), descending
// into subfolders `depth` levels deep.
void removeContents(int fd, int depth) {
    DIR* folder = fdopendir(fd);
    if (folder == nullptr) {
        close(fd);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    for (const auto& name : names) {
        if (unlinkat(dirfd(folder), name.c_str(), 0) == 0 || depth == 0) {
            continue;
        }
        const int child =
            openat(dirfd(folder), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (child >= 0) {
            removeContents(child, depth - 1);
            unlinkat(dirfd(folder), name.c_str(), AT_REMOVEDIR);
        }
    }
    closedir(folder);
}

} // namespace

void removeStaging(int destinationFd, const char* name) {
    const int fd = openat(destinationFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
        removeContents(fd, 1);
    }
    unlinkat(destinationFd, name, AT_REMOVEDIR);
}

} // namespace ezip
