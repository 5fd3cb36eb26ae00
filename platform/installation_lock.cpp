#include "platform/installation_lock.h"

#include <utility>

namespace qlx {

InstallationLock::~InstallationLock() {
    release();
}

InstallationLock::InstallationLock(InstallationLock&& other) noexcept
    : state_(std::exchange(other.state_, State::Unavailable)),
      handle_(std::exchange(other.handle_, kNone)) {}

InstallationLock& InstallationLock::operator=(InstallationLock&& other) noexcept {
    if (this != &other) {
        release();
        state_ = std::exchange(other.state_, State::Unavailable);
        handle_ = std::exchange(other.handle_, kNone);
    }
    return *this;
}

} // namespace qlx
