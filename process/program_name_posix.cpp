#include "process/program_name.h"

namespace qlx {

std::string programFileName(const std::string& baseName) {
    return baseName;
}

} // namespace qlx
