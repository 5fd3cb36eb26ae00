#include "libs/ezip/tree.h"

#include <cstdlib>
#include <sys/wait.h>

namespace ezip_test {

std::string callerPath(const std::filesystem::path& path) {
    return path.string();
}

bool hasUnixModes() {
    return true;
}

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace ezip_test
