#include "app/process_command_line.h"
#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "window/unexpected_error_box.h"
#include "window/vercheck_window.h"

#include <QApplication>

#include <memory>

namespace {

const qlx::BuildProfile& selectedProfile() {
#ifdef QLX_LEGACY_PROFILE
    return qlx::legacyProfile();
#else
    return qlx::currentProfile();
#endif
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);

    qlx::version_check app;
    app.create();

    std::unique_ptr<qlx::VercheckWindow> window;
    app.open(qlx::processCommandLineText(), [&] {
        window = std::make_unique<qlx::VercheckWindow>(selectedProfile(), app);
        qlx::runEventEntry(window.get(), [&] { window->openWindow(); });
    });

    int status = 0;
    if (qlx::unexpectedErrorOccurred()) {
        status = qlx::kUnexpectedErrorStatus;
    } else if (!window->isClosedByHandler()) {
        status = application.exec();
    }

    window.reset();
    app.destroy();
    return status;
}
