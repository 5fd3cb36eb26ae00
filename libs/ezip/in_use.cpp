#include "libs/ezip/in_use.h"

#include <chrono>
#include <thread>

namespace ezip {

namespace {

using qlx::Replaced;

// Long enough for a scanner to read a file through, short enough that a
// person waiting at the window does not give up.
constexpr auto kBusyWait = std::chrono::seconds(5);
constexpr auto kBusyPause = std::chrono::milliseconds(100);

std::string& lastBusyFile() {
    static std::string path;
    return path;
}

Replaced moveAsideAndReplace(const std::string& staged, const std::string& target,
                             const std::string& aside) {
    const Replaced asideMoved = qlx::replaceFile(target, aside);
    if (asideMoved != Replaced::Done) {
        return asideMoved;
    }
    const Replaced replaced = qlx::replaceFile(staged, target);
    if (replaced != Replaced::Done) {
        (void)qlx::renameOver(aside, target);
    }
    return replaced;
}

} // namespace

Replaced replaceInUse(const std::string& staged, const std::string& target,
                      const std::string& aside) {
    const auto deadline = std::chrono::steady_clock::now() + kBusyWait;
    for (;;) {
        Replaced result = qlx::replaceFile(staged, target);
        if (result == Replaced::Busy) {
            result = moveAsideAndReplace(staged, target, aside);
        }
        if (result != Replaced::Busy || std::chrono::steady_clock::now() >= deadline) {
            return result;
        }
        std::this_thread::sleep_for(kBusyPause);
    }
}

bool waitWhileHeld(const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + kBusyWait;
    while (qlx::heldOpen(path)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kBusyPause);
    }
    return true;
}

void recordBusyFile(const std::string& path) {
    lastBusyFile() = path;
}

const std::string& busyFile() {
    return lastBusyFile();
}

} // namespace ezip
