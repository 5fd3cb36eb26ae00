#include "platform/command_line.h"
#include "platform/process_command_line.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace qlx {

namespace {

// The whole of /proc/self/cmdline; empty when it cannot be read.
std::string readOwnCommandLine() {
    const int fd = ::open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            content.clear();
            break;
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

} // namespace

// The arguments exactly as the process was started with them: the toolkit is
// handed none of them (see main), so it does not know them. POSIX hands over a
// list; joining it after the program name keeps every /KEY=value; field
// intact, since values are found by their keys. The arguments' bytes are taken
// as the UTF-8 they are in the system's locale.
std::string processCommandLineText() {
    const std::string all = readOwnCommandLine();
    // Each argument, the program name first, ends with a NUL.
    std::vector<std::string> arguments;
    std::size_t start = all.find('\0');
    while (start != std::string::npos && start + 1 < all.size()) {
        const std::size_t end = all.find('\0', start + 1);
        if (end == std::string::npos) {
            break;
        }
        arguments.push_back(all.substr(start + 1, end - start - 1));
        start = end;
    }
    return joinArguments(arguments);
}

} // namespace qlx
