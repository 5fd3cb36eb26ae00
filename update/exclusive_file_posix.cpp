#include "update/exclusive_file.h"

#include <fcntl.h>
#include <unistd.h>

namespace qlx {

int openExclusiveForWriting(const std::string& path) {
    // Not O_TRUNC: a file that another program holds locked must keep its bytes.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return -1;
    }
    // A lock of the open file description, not of the process: it cannot be
    // lost when some other descriptor of the same file is closed, and it ends
    // with this descriptor.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0; // to the end, however far the file grows
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0 || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void closeExclusive(int fd) {
    ::close(fd);
}

} // namespace qlx
