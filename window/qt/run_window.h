#pragma once

// The whole run of the updater on the Linux window, behind a header that
// needs no window toolkit, so that the program's entry point stays free of it.

namespace qlx {

struct BuildProfile;

// Runs the updater with `profile`'s window for the whole process: the
// application object, the window and its event loop. The window toolkit gets
// only the program name from argc/argv; the updater reads its own argument
// text. Returns the process's exit status: 0, or 3 after an unexpected error.
int runUpdaterWindow(int argc, char** argv, const BuildProfile& profile);

} // namespace qlx
