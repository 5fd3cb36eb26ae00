#include "package/target_folder.h"

#include "platform/files.h"

namespace qlx {

FolderVisit visitFolder(const std::string& path, const std::string& action) {
    bool entered = setCurrentFolder(action);
    if (!entered) {
        // Missing intermediate folders are created too: a package's target may
        // lie several levels below the installation folder.
        if (!action.empty()) {
            makeFolders(action);
        }
        entered = setCurrentFolder(action);
    }
    FolderVisit visit{currentFolder(), entered};
    setCurrentFolder(path);
    return visit;
}

std::optional<std::string> targetFolder(const std::string& path, const std::string& action) {
    FolderVisit visit = visitFolder(path, action);
    if (!visit.entered && !action.empty()) {
        return std::nullopt;
    }
    return std::move(visit.folder);
}

} // namespace qlx
