// uf_filewrite of a large package in its 32765-byte chunks, with the window's
// event processing between chunks, against one write() of the same bytes.
// Prints median, min and max of each and the throughput ratio.
// Usage: filewrite_bench [MEGABYTES=400] [RUNS=5] [FOLDER=temporary folder]
#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "window/w_vercheck.h"
#include "window/window_port.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The window's port with nothing on screen: the event processing between
// chunks is a call through the port, as in the window, but there are no
// events to handle, so what the chunks cost is the writer's own.
class EventPort final : public qlx::WindowPort {
public:
    void setProgressMaximum(int) override {}
    void setProgressPosition(int) override {}
    void setStatusText(const std::string&) override {}
    void setStatusTag(const std::string&) override {}
    void messageBox(const std::string&, const std::string&) override {}
    int askYesNo(const std::string&, const std::string&) override { return 1; }
    void processPendingEvents() override { ++eventRuns; }
    void postUpgradeClick() override {}
    void closeWindow() override {}

    long eventRuns = 0;
};

struct Stats {
    double median, min, max;
};

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

qlx::Bytes patternedBytes(std::size_t size) {
    qlx::Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    return data;
}

// The seconds uf_filewrite takes for `data`; nullopt, reported, on failure.
std::optional<double> timeChunkedWrite(qlx::w_vercheck& window, const std::string& path,
                                       const qlx::Bytes& data) {
    // The update methods move their package in, so the writer owns it and
    // frees it on return; the copy for that is made before the clock runs.
    qlx::Bytes package = data;
    const auto start = std::chrono::steady_clock::now();
    if (window.uf_filewrite(path, std::move(package)) != 1) {
        std::fprintf(stderr, "uf_filewrite failed\n");
        return std::nullopt;
    }
    return secondsSince(start);
}

// The seconds one write() of `data` takes; nullopt on failure, which ends the
// program, so the file is not closed then.
std::optional<double> timeSingleWrite(const std::string& path, const qlx::Bytes& data) {
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n <= 0) {
            return std::nullopt;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return secondsSince(start);
}

void printResults(std::size_t size, int runs, long eventRuns, const std::vector<double>& chunked,
                  const std::vector<double>& single) {
    const Stats c = stats(chunked);
    const Stats s = stats(single);
    std::printf("package %zu bytes, %d runs, %ld event runs\n", size, runs, eventRuns);
    std::printf("uf_filewrite  median %.3f s (min %.3f, max %.3f)\n", c.median, c.min, c.max);
    std::printf("one write()   median %.3f s (min %.3f, max %.3f)\n", s.median, s.min, s.max);
    std::printf("throughput ratio uf_filewrite / write(): %.2f (target >= 0.75)\n",
                s.median / c.median);
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t size =
        static_cast<std::size_t>(argc > 1 ? std::atoll(argv[1]) : 400) * 1000 * 1000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    std::error_code error;
    const std::filesystem::path folder =
        argc > 3 ? std::filesystem::path(argv[3]) : std::filesystem::temp_directory_path(error);
    if (runs < 1 || error) {
        std::fprintf(stderr, "usage: %s [MEGABYTES] [RUNS>=1] [FOLDER]\n", argv[0]);
        return 2;
    }

    const qlx::Bytes data = patternedBytes(size);

    qlx::version_check app;
    app.create();
    EventPort port;
    qlx::w_vercheck window(qlx::kCurrentProfile, app, port);

    const std::string prefix = "filewrite-bench-" + std::to_string(::getpid()) + "-";
    std::vector<double> chunked;
    std::vector<double> single;
    for (int run = 0; run <= runs; ++run) { // run 0 warms up
        const std::string a = (folder / (prefix + std::to_string(run) + "a.zip")).string();
        const std::optional<double> t1 = timeChunkedWrite(window, a, data);
        if (!t1) {
            return 1;
        }
        std::filesystem::remove(a, error);

        const std::string b = (folder / (prefix + std::to_string(run) + "b.zip")).string();
        const std::optional<double> t2 = timeSingleWrite(b, data);
        if (!t2) {
            return 1;
        }
        std::filesystem::remove(b, error);
        if (run > 0) {
            chunked.push_back(*t1);
            single.push_back(*t2);
        }
    }
    printResults(size, runs, port.eventRuns, chunked, single);
    app.destroy();
    return 0;
}
