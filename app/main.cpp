#include "app/library_search.h"
#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "process/process_command_line.h"
#include "window/run_window.h"

namespace {

const qlx::BuildProfile& selectedProfile() {
#ifdef QLX_LEGACY_PROFILE
    return qlx::legacyProfile();
#else
    return qlx::currentProfile();
#endif
}

} // namespace

// The application object lives for the whole run: it holds the transaction
// the window connects, and releases it once the window has closed.
int main(int argc, char** argv) {
    qlx::restrictLibrarySearch();
    qlx::version_check app;
    app.create();
    int status = 0;
    app.open(qlx::processCommandLineText(),
             [&] { status = qlx::runUpdaterWindow(argc, argv, selectedProfile(), app); });
    app.destroy();
    return status;
}
