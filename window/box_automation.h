#pragma once

#include <QMessageBox>

namespace qlx {

// Runs a modal box. When the environment names a log in QLX_BOX_LOG, the box
// is answered by itself once it is on screen (the default button, or the next
// answer of QLX_BOX_ANSWERS, a comma-separated list of "yes", "no", "ok",
// "escape") and one line "title<TAB>text<TAB>buttons" is appended to the log,
// with \r and \n written as the two-character escapes. That is how the
// whole program is driven in tests and unattended demos, since nobody is
// there to click; without QLX_BOX_LOG the box waits for the user.
int execBox(QMessageBox& box);

} // namespace qlx
