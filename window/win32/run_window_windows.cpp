#include "window/run_window.h"
#include "window/win32/vercheck_window.h"

namespace qlx {

// The program reads its own command line; nothing here needs argc/argv.
int runUpdaterWindow(int /*argc*/, char** /*argv*/, const BuildProfile& profile,
                     ApplicationGlobals& app) {
    VercheckWindow window(profile, app);
    window.openWindow();
    return window.run();
}

} // namespace qlx
