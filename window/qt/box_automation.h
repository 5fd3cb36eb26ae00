#pragma once

#include <QMessageBox>

namespace qlx {

// Runs a modal box and returns the button pressed. Only in a build configured
// with QLX_UNATTENDED_BOXES (tests and unattended demos, since nobody is there
// to click) does a box answer itself when the environment names a log in
// QLX_BOX_LOG: once it is on screen it takes the default button, or the next
// answer of QLX_BOX_ANSWERS (a comma-separated list of "yes", "no", "ok",
// "escape"), and one line "title<TAB>text<TAB>buttons" is appended to the log,
// with \r and \n written as the two-character escapes. Any other build, and
// one without QLX_BOX_LOG, waits for the user.
int execBox(QMessageBox& box);

} // namespace qlx
