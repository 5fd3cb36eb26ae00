#include "window/qt/unexpected_error_box.h"

#include "base/unexpected_error.h"
#include "window/qt/box_automation.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace qlx {

namespace {
bool occurred = false;
} // namespace

bool runEventEntry(QWidget* parent, const std::function<void()>& entry) {
    try {
        entry();
        return true;
    } catch (const UnexpectedError& error) {
        occurred = true;
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Quillon"),
                        QStringLiteral("%1 could not be loaded.\n%2")
                            .arg(QString::fromStdString(error.library()),
                                 QString::fromStdString(error.reason())),
                        QMessageBox::Ok, parent);
        execBox(box);
        // Ends the event loop if it runs; before it runs the caller checks
        // unexpectedErrorOccurred().
        QCoreApplication::exit(kUnexpectedErrorStatus);
        return false;
    }
}

bool unexpectedErrorOccurred() {
    return occurred;
}

} // namespace qlx
