#include "platform/new_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qlx {

bool createNewFile(const std::string& path, const std::string& content, bool ownerOnly,
                   std::string& error) {
    const mode_t mode = ownerOnly ? 0600 : 0644;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const char* data = content.data();
    std::size_t left = content.size();
    bool ok = true;
    while (ok && left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        ok = written > 0;
        if (ok) {
            data += written;
            left -= static_cast<std::size_t>(written);
        }
    }
    // A key that was handed out must not vanish in a crash.
    ok = ok && ::fsync(fd) == 0;
    if (!ok) {
        error = path + ": " + std::strerror(errno);
    }
    if (::close(fd) != 0 && ok) {
        error = path + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(path.c_str());
    }
    return ok;
}

} // namespace qlx
