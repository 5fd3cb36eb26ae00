#pragma once

// The whole run of the updater on the platform's window, behind a header that
// needs no window toolkit, so that the program's entry point stays free of it.
// Each platform's window folder implements it.

#include "window/exit_status.h"

namespace qlx {

class ApplicationGlobals;
struct BuildProfile;

// Opens `profile`'s window for the application object `app` and runs it to
// its end. The window reads its own argument text; argc/argv give at most the
// program's name to the window toolkit. Returns the process's exit status: the
// run's own (w_vercheck::exitStatus), or kUnexpectedErrorStatus after an
// unexpected error.
int runUpdaterWindow(int argc, char** argv, const BuildProfile& profile, ApplicationGlobals& app);

} // namespace qlx
