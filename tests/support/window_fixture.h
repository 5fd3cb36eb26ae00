#pragma once

#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "support/scripted_port.h"
#include "window/w_vercheck.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace qlx::test {

// A window's behaviour in a private installation folder (the current folder
// while the test runs), with a scripted port and a recorded relaunch.
class WindowFixture : public ::testing::Test {
protected:
    struct Launch {
        QString program;
        QStringList arguments;
    };

    void SetUp() override {
        ASSERT_TRUE(install.isValid());
        previousFolder = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(install.path()));
        app.create();
    }
    void TearDown() override {
        window.reset();
        app.destroy();
        QDir::setCurrent(previousFolder);
    }

    // The window for `commandLine`, with the platform's services except the
    // command line, the relaunch and the clock.
    w_vercheck& makeWindow(const QString& commandLine,
                           const BuildProfile& profile = kCurrentProfile) {
        w_vercheck::Services services = w_vercheck::systemServices();
        services.commandLine = [commandLine] { return commandLine; };
        services.startProgram = [this](const QString& program, const QStringList& arguments) {
            launches.push_back({program, arguments});
            return true;
        };
        services.now = [this] { return now; };
        if (processObjectOverride) {
            services.createProcessObject = processObjectOverride;
        }
        if (!ftpServer.isEmpty()) {
            services.ftpServer = ftpServer;
        }
        window = std::make_unique<w_vercheck>(profile, app, port, std::move(services));
        return *window;
    }

    [[nodiscard]] QString path(const QString& name) const { return install.filePath(name); }

    QTemporaryDir install;
    QString previousFolder;
    version_check app;
    ScriptedPort port;
    std::vector<Launch> launches;
    QDateTime now{QDate(2010, 1, 2), QTime(0, 5)};
    std::function<std::unique_ptr<nvo_process>()> processObjectOverride;
    // The FTP server the window talks to, "127.0.0.1:port"; the built-in one when empty.
    QString ftpServer;
    std::unique_ptr<w_vercheck> window;
};

} // namespace qlx::test
