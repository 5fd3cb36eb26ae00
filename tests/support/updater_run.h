#pragma once

#include "support/test_files.h"

#include <optional>
#include <string>
#include <vector>

namespace qlx::test {

// One run of an updater executable as the client starts it: in an
// installation folder, offscreen, with its boxes answered and logged.
class UpdaterRun {
public:
    struct Box {
        std::string title;
        std::string text;
        std::string buttons;
    };

    UpdaterRun();

    // The installation folder (the updater's current folder).
    [[nodiscard]] const std::string& folder() const { return install_.path(); }
    [[nodiscard]] std::string path(const std::string& name) const {
        return install_.filePath(name);
    }
    // Puts a stand-in client program "quillon" there that records its
    // arguments, one a line, in client-args.txt.
    void installStandInClient();
    // The recorded arguments; null when the client was never started. Waits a
    // little, since the client is started without waiting.
    [[nodiscard]] std::optional<std::vector<std::string>> clientArguments(int waitMs = 5000) const;

    // Runs `executable` (a file in the build's bin folder, or an absolute
    // path) with one argument text, answering the questions with `answers`;
    // `environment` holds NAME=value assignments over the test's own. The
    // exit code, or -1 when it did not end within `timeoutMs` (it is then
    // killed) or ended on a signal.
    int run(const std::string& executable, const std::string& arguments,
            const std::vector<std::string>& answers = {},
            const std::vector<std::string>& environment = {}, int timeoutMs = 120000);

    [[nodiscard]] std::vector<Box> boxes() const;
    // What the last run wrote to its standard error; it is passed on as well.
    [[nodiscard]] const std::string& errorOutput() const { return errorOutput_; }

    // Runs the updater through `launcher` (a program and its arguments, such
    // as a tracer), which gets the updater's path and argument after its own.
    void setLauncher(std::vector<std::string> launcher) { launcher_ = std::move(launcher); }

private:
    TempDir install_;
    TempDir private_;
    std::vector<std::string> launcher_;
    std::string errorOutput_;
};

// The folder of the running test executable, where the build puts the
// programs and libraries.
[[nodiscard]] std::string binFolder();

} // namespace qlx::test
