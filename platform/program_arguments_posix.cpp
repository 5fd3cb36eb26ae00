#include "platform/program_arguments.h"

namespace qlx {

// POSIX arguments are the bytes the caller gave; file names among them are
// used as they are.
std::vector<std::string> programArguments(int argc, char** argv) {
    return {argv, argv + argc};
}

} // namespace qlx
