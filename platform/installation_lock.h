#pragma once

#include <cstdint>
#include <string>

namespace qlx {

// The lock that only one updater of an installation folder holds at a time,
// taken before the updaters are counted: two started in the same instant (a
// double click) would otherwise each count the other and both refuse. On
// POSIX it is a lock on the file ".qlx_upt.lock" in the folder (the file
// stays; removing it would let a third updater lock a new file beside the
// held one); on Windows a named mutex per folder. Neither passes to a program
// the holder starts, and both go when the process ends, however it ends.
class InstallationLock {
public:
    enum class State {
        Unavailable, // no lock could be made (a read-only folder, say)
        Held,        // this process holds it
        Busy,        // another process holds it
    };

    InstallationLock() = default;
    ~InstallationLock();
    InstallationLock(InstallationLock&& other) noexcept;
    InstallationLock& operator=(InstallationLock&& other) noexcept;
    InstallationLock(const InstallationLock&) = delete;
    InstallationLock& operator=(const InstallationLock&) = delete;

    // Tries once, without waiting, for the lock of the folder `folder`.
    [[nodiscard]] static InstallationLock take(const std::string& folder);

    [[nodiscard]] State state() const { return state_; }

private:
    void release();

    State state_ = State::Unavailable;
    // The descriptor, or the mutex's HANDLE on Windows.
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;
};

} // namespace qlx
