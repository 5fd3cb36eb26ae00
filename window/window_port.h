#pragma once

#include <string>

namespace qlx {

// What the window's logic needs from the screen. Each platform's window
// implements it; tests use a scripted one that records every box and answers
// every question. Text is UTF-8.
class WindowPort {
public:
    virtual ~WindowPort() = default;

    // hpb_1
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgressPosition(int position) = 0;
    // st_1: its text, and its tag (an invisible per-control string)
    virtual void setStatusText(const std::string& text) = 0;
    virtual void setStatusTag(const std::string& tag) = 0;

    // A modal box with the information icon and one OK button.
    virtual void messageBox(const std::string& title, const std::string& text) = 0;
    // A modal Yes/No question with the information icon: 1 for Yes (the
    // default button), 2 for No.
    virtual int askYesNo(const std::string& title, const std::string& text) = 0;

    // Lets the window repaint and react while a long step runs.
    virtual void processPendingEvents() = 0;
    // Queues a click on cb_up, handled after the current handler returns.
    virtual void postUpgradeClick() = 0;
    // Closes the window, which ends the program.
    virtual void closeWindow() = 0;
};

} // namespace qlx
