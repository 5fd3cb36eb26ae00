// One uf_getprocesscount over the live /proc while 500 copies of a sleeper run
// under a client program's name; prints the median of many runs.
#include "process/nvo_process.h"
#include "support/child_processes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main() {
    constexpr int kProcesses = 500;
    constexpr int kRuns = 101;
    constexpr double kTargetMs = 5.0;

    qlx::testing::ChildProcesses kids;
    for (int i = 0; i < kProcesses; ++i) {
        if (kids.start("quillon") == 0) {
            std::fprintf(stderr, "could not start process %d\n", i);
            return 1;
        }
    }
    qlx::nvo_process process;
    process.uf_setcurpid(0);
    std::vector<double> ms;
    int seen = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        seen = process.uf_getprocesscount("quillon");
        const auto end = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    kids.stopAll();
    if (seen < kProcesses) {
        std::fprintf(stderr, "counted %d of %d processes\n", seen, kProcesses);
        return 1;
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    std::printf("uf_getprocesscount with %d matching processes (%d counted), %d runs\n", kProcesses,
                seen, kRuns);
    std::printf("median %.3f ms  min %.3f ms  max %.3f ms\n", median, ms.front(), ms.back());
    std::printf("median / %.1f ms target = %.2f\n", kTargetMs, median / kTargetMs);
    return 0;
}
