#include "platform/installation_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qlx {

void InstallationLock::release() {
    if (handle_ != kNone) {
        ::close(static_cast<int>(handle_));
        handle_ = kNone;
    }
}

InstallationLock InstallationLock::take(const std::string& folder) {
    InstallationLock lock;
    const std::string path = folder + "/.qlx_upt.lock";
    // Close-on-exec: the client started at the end must not hold it on.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        return lock;
    }
    int locked = 0;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        lock.state_ = errno == EWOULDBLOCK ? State::Busy : State::Unavailable;
        ::close(fd);
        return lock;
    }
    lock.state_ = State::Held;
    lock.handle_ = fd;
    return lock;
}

} // namespace qlx
