#pragma once

#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "process/nvo_process.h"
#include "support/own_process_table.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "window/w_vercheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace qlx::test {

// A window's behaviour in a private installation folder (the current folder
// while the test runs), with a scripted port and a recorded relaunch.
class WindowFixture : public ::testing::Test {
protected:
    WindowFixture() = default;
    // An application built with the publisher's keys `packageKeys`.
    explicit WindowFixture(PackageKeys packageKeys) : app(std::move(packageKeys)) {}

    struct Launch {
        std::string program;
        std::vector<std::string> arguments;
    };

    void SetUp() override {
        ASSERT_TRUE(install.isValid());
        std::error_code error;
        previousFolder = std::filesystem::current_path(error);
        std::filesystem::current_path(install.path(), error);
        ASSERT_FALSE(error) << error.message();
        app.create();
    }
    void TearDown() override {
        window.reset();
        app.destroy();
        std::error_code error;
        std::filesystem::current_path(previousFolder, error);
    }

    // The window for `commandLine`, with the platform's services except the
    // command line, the relaunch and the clock. It sees none of the machine's
    // processes unless `processObjectOverride` shows it some.
    w_vercheck& makeWindow(const std::string& commandLine,
                           const BuildProfile& profile = kCurrentProfile) {
        w_vercheck::Services services = w_vercheck::systemServices();
        services.commandLine = [commandLine] { return commandLine; };
        services.startProgram = [this](const std::string& program,
                                       const std::vector<std::string>& arguments) {
            launches.push_back({program, arguments});
            return true;
        };
        services.now = [this] { return now; };
        // Without the installation's lock the count alone decides, which is
        // what these tests look at.
        services.lockInstallation = nullptr;
        if (processObjectOverride) {
            services.createProcessObject = processObjectOverride;
        } else {
            services.createProcessObject = [] {
                return std::make_unique<nvo_process>(
                    std::make_unique<OwnProcessTable>(std::vector<std::uint32_t>{}));
            };
        }
        if (!ftpServer.empty()) {
            services.ftpServer = ftpServer;
        }
        window = std::make_unique<w_vercheck>(profile, app, port, std::move(services));
        return *window;
    }

    [[nodiscard]] std::string path(const std::string& name) const { return install.filePath(name); }

    TempDir install;
    std::filesystem::path previousFolder;
    version_check app;
    ScriptedPort port;
    std::vector<Launch> launches;
    LocalTime now{2010, 1, 2, 0, 5, 0};
    std::function<std::unique_ptr<nvo_process>()> processObjectOverride;
    // The FTP server the window talks to, "127.0.0.1:port"; the built-in one when empty.
    std::string ftpServer;
    std::unique_ptr<w_vercheck> window;
};

} // namespace qlx::test
