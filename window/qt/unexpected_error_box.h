#pragma once

#include "window/run_window.h"

#include <functional>

class QWidget;

namespace qlx {

// Runs an event entry of the window (the open handler, a posted click). An
// unexpected error unwinds it; the user then sees a critical box naming the
// library and the loader's reason, and the program ends with a non-zero status.
// Returns false when that happened.
bool runEventEntry(QWidget* parent, const std::function<void()>& entry);

// Whether an unexpected error has ended the run.
[[nodiscard]] bool unexpectedErrorOccurred();

} // namespace qlx
