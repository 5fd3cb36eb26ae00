#pragma once

// The whole run of the updater on the Linux window, behind a header that
// needs no window toolkit, so that the program's entry point stays free of it.

namespace qlx {

class ApplicationGlobals;
struct BuildProfile;

// Opens `profile`'s window for the application object `app` and runs it to
// its end. The window toolkit gets only the program name from argc/argv; the
// window reads its own argument text. Returns the process's exit status: 0,
// or 3 after an unexpected error.
int runUpdaterWindow(int argc, char** argv, const BuildProfile& profile, ApplicationGlobals& app);

} // namespace qlx
