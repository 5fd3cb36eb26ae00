#include "update/run_times.h"

#include "platform/whole_file.h"

#include <cstdio>
#include <cstdlib>

namespace qlx {

namespace {

constexpr std::array<const char*, RunTimes::kParts> kNames = {
    "blob read (beside the rest)", "waiting for a package", "package write",
    "staging (inflate, flushes)", "commit (moves, flushes)"};

std::string line(const char* name, double seconds, double total) {
    std::array<char, 128> text{};
    const int length = std::snprintf(text.data(), text.size(), "%-28s %8.3f s %6.1f %%\n", name,
                                     seconds, total > 0 ? 100 * seconds / total : 0.0);
    return {text.data(), static_cast<std::size_t>(length)};
}

} // namespace

std::string RunTimes::report() const {
    const double total = std::chrono::duration<double>(Clock::now() - start_).count();
    std::string text = line("update, from list to commit", total, total);
    for (std::size_t part = 0; part < kParts; ++part) {
        text += line(kNames.at(part), static_cast<double>(parts_.at(part).load()) / 1e9, total);
    }
    return text;
}

void RunTimes::save() const {
#ifdef QLX_RUN_TIMES_LOG
    const char* path = std::getenv("QLX_UPT_TIMES");
    if (path != nullptr && *path != '\0') {
        (void)replaceThroughCopy(path, report(), /*durably=*/false);
    }
#endif
}

} // namespace qlx
