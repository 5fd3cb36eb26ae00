#pragma once

#include <functional>
#include <string>
#include <windows.h>

namespace qlx {

// The updater's modal boxes. Every one waits for a person: no build and no
// environment makes a box answer itself. `owner` may be null. Text is UTF-8.

// The information icon and one OK button.
void informationBox(HWND owner, const std::string& title, const std::string& text);
// The information icon, Yes (the default) and No: 1 for Yes, 2 for anything else.
int yesNoBox(HWND owner, const std::string& title, const std::string& text);

// Runs an event entry of the window (the open handler, a click). An unexpected
// error unwinds it; the user then sees a critical box naming the library and
// the loader's reason. Returns false when that happened, and the run must end
// with kUnexpectedErrorStatus.
bool runEventEntry(HWND owner, const std::function<void()>& entry);

} // namespace qlx
