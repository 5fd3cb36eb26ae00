#pragma once

#include "base/optional_string.h"

#include <cstdint>
#include <string>

namespace qlx {

// What an update method shows while it runs: the window that runs it
// implements this, and tests use a scripted one that records every box.
class UpdateView {
public:
    virtual ~UpdateView() = default;

    // The window's progress: "BAR" sets the position, "SET" the maximum;
    // anything else does nothing. Always 0.
    virtual int uf_bar(const OptString& action, std::int64_t data) = 0;
    // A modal box with the information icon and one OK button.
    virtual void messageBox(const std::string& title, const std::string& text) = 0;
    // A modal Yes/No question: 1 for Yes, 2 for No.
    virtual int askYesNo(const std::string& title, const std::string& text) = 0;
    // Lets the window repaint and react while a long step runs.
    virtual void processPendingEvents() = 0;
    // Says, while `busy`, that the database server has no free connection
    // and the update waits for one; the usual status again afterwards.
    virtual void showServerBusy(bool busy) { (void)busy; }
};

} // namespace qlx
