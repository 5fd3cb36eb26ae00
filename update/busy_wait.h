#pragma once

#include <chrono>
#include <random>

namespace qlx {

class UpdateView;

// The waits between connects to a server that has no free connection: each
// longer than the one before, up to a ceiling, and each drawn at random
// around its length, so that the clients of an office that all met a full
// server come back one by one instead of all at once again.
class BusyWait {
public:
    explicit BusyWait(std::chrono::milliseconds limit = std::chrono::seconds(60));

    // Waits for the next try while the window stays alive, and says so in
    // it; false, without waiting, when the next try would end after the limit.
    bool wait(UpdateView& view);

private:
    std::chrono::steady_clock::time_point deadline_;
    std::chrono::milliseconds next_;
    std::minstd_rand random_;
};

} // namespace qlx
