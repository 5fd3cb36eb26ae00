#include "window/qt/box_automation.h"

namespace qlx {

// The build that users get: every box waits for a person, whatever the
// environment holds.
int execBox(QMessageBox& box) {
    return box.exec();
}

} // namespace qlx
