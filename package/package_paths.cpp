#include "package/package_paths.h"

#include "platform/files.h"

namespace qlx {

namespace {

// A path taken apart: its root ("" for a relative one) and its names, with
// "." and empty names gone and each ".." taking away the name before it.
struct PathParts {
    std::string root;
    std::vector<std::string> names;

    [[nodiscard]] std::string text() const {
        std::string out = root;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (i > 0) {
                out += pathSeparator();
            }
            out += names[i];
        }
        return out.empty() ? std::string(".") : out;
    }
};

PathParts partsOf(const std::string& path) {
    PathParts parts;
    const std::size_t root = rootLength(path);
    for (std::size_t i = 0; i < root; ++i) {
        parts.root += isPathSeparator(path[i]) ? pathSeparator() : path[i];
    }
    std::size_t start = root;
    while (start <= path.size()) {
        std::size_t stop = start;
        while (stop < path.size() && !isPathSeparator(path[stop])) {
            ++stop;
        }
        const std::string name = path.substr(start, stop - start);
        if (name == "..") {
            if (!parts.names.empty() && parts.names.back() != "..") {
                parts.names.pop_back();
            } else if (parts.root.empty()) {
                parts.names.push_back(name); // a relative path keeps leading ".."
            }
        } else if (!name.empty() && name != ".") {
            parts.names.push_back(name);
        }
        start = stop + 1;
    }
    return parts;
}

} // namespace

std::vector<std::string> missingFolders(const std::string& base, const std::string& action) {
    std::vector<std::string> missing;
    if (action.empty()) {
        return missing;
    }
    PathParts folder = partsOf(rootLength(action) > 0 ? action : joinPath(base, action));
    while (!folder.names.empty() && !pathExists(folder.text())) {
        missing.push_back(folder.text());
        folder.names.pop_back();
    }
    return missing;
}

bool isPlainFileName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos && name != "." && name != ".." &&
           name.find('\0') == std::string::npos;
}

} // namespace qlx
