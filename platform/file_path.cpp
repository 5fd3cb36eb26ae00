#include "platform/files.h"

// What is the same on every platform once its separators and roots are known.
namespace qlx {

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder + pathSeparator() + name;
}

std::string parentOf(const std::string& path) {
    const std::size_t root = rootLength(path);
    std::size_t end = path.size();
    while (end > root && isPathSeparator(path[end - 1])) {
        --end;
    }
    std::size_t cut = end;
    while (cut > root && !isPathSeparator(path[cut - 1])) {
        --cut;
    }
    if (cut <= root) {
        return root > 0 && end > root ? path.substr(0, root) : std::string();
    }
    return path.substr(0, cut - 1);
}

bool makeFolder(const std::string& path) {
    return tryMakeFolder(path) == FolderMade::Made;
}

bool makeFolders(const std::string& path) {
    switch (tryMakeFolder(path)) {
    case FolderMade::Made:
        return true;
    case FolderMade::Exists:
        return isFolder(path);
    case FolderMade::Failed:
        return false;
    case FolderMade::NoParent:
        break;
    }
    const std::string parent = parentOf(path);
    if (parent.empty() || parent == path || !makeFolders(parent)) {
        return false;
    }
    // Somebody else may have made it meanwhile.
    const FolderMade again = tryMakeFolder(path);
    return again == FolderMade::Made || (again == FolderMade::Exists && isFolder(path));
}

bool syncParentOf(const std::string& path) {
    const std::string parent = parentOf(path);
    return flushFolder(parent.empty() ? std::string(".") : parent) == FolderFlush::Done;
}

} // namespace qlx
