#include "platform/file_system.h"

namespace qlx {

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder + pathSeparator() + name;
}

} // namespace qlx
