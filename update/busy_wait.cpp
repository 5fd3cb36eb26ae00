#include "update/busy_wait.h"

#include "update/update_view.h"

#include <algorithm>
#include <thread>

namespace qlx {

namespace {

constexpr std::chrono::milliseconds kFirstWait{500};
constexpr std::chrono::milliseconds kLongestWait{8000};
// The window answers within this while it waits.
constexpr std::chrono::milliseconds kEventStep{50};

} // namespace

BusyWait::BusyWait(std::chrono::milliseconds limit)
    : deadline_(std::chrono::steady_clock::now() + limit), next_(kFirstWait),
      random_(std::random_device{}()) {}

bool BusyWait::wait(UpdateView& view) {
    std::uniform_real_distribution<double> spread(0.5, 1.5);
    const auto length = std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(
        static_cast<double>(next_.count()) * spread(random_)));
    const auto until = std::chrono::steady_clock::now() + length;
    if (until > deadline_) {
        return false;
    }
    next_ = std::min(next_ * 2, kLongestWait);
    view.showServerBusy(true);
    for (auto now = std::chrono::steady_clock::now(); now < until;
         now = std::chrono::steady_clock::now()) {
        view.processPendingEvents();
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kEventStep, until - now));
    }
    return true;
}

} // namespace qlx
