#pragma once

#include "window/w_vercheck.h"
#include "window/win32/layout_controls.h"
#include "window/window_port.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <windows.h>

namespace qlx {

class ApplicationGlobals;
struct BuildProfile;

// The updater window on screen: a top-level window with the controls of the
// profile's layout, and the port through which w_vercheck reaches them. It
// lives on the thread that made it.
class VercheckWindow final : public WindowPort {
public:
    VercheckWindow(const BuildProfile& profile, ApplicationGlobals& app);
    // With services other than the platform's (tests).
    VercheckWindow(const BuildProfile& profile, ApplicationGlobals& app,
                   w_vercheck::Services services);
    ~VercheckWindow() override;
    VercheckWindow(const VercheckWindow&) = delete;
    VercheckWindow& operator=(const VercheckWindow&) = delete;

    // Runs the open handler and, unless it ended the run, shows the window,
    // which is made centred on the screen.
    void openWindow();
    // Dispatches the thread's messages until the window has closed or an
    // unexpected error has ended the run; returns the exit status.
    int run();

    // Null once the window is destroyed.
    [[nodiscard]] HWND handle() const { return window_; }
    // Null for a name the layout does not have, and once the window is destroyed.
    [[nodiscard]] HWND control(std::string_view name) const;
    [[nodiscard]] w_vercheck& logic() { return *logic_; }
    [[nodiscard]] bool isClosed() const { return closed_; }
    [[nodiscard]] bool unexpectedErrorOccurred() const { return failed_; }
    // st_1's tag, an invisible string that nothing draws.
    [[nodiscard]] const std::string& statusTag() const { return statusTag_; }

    // WindowPort
    void setProgressMaximum(int maximum) override;
    void setProgressPosition(int position) override;
    void setStatusText(const std::string& text) override;
    void setStatusTag(const std::string& tag) override;
    void messageBox(const std::string& title, const std::string& text) override;
    int askYesNo(const std::string& title, const std::string& text) override;
    void processPendingEvents() override;
    void postUpgradeClick() override;
    void closeWindow() override;

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) noexcept;
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT eraseBackground(HDC dc) const;
    LRESULT paintWindow();
    LRESULT colourStatic(HDC dc) const;
    LRESULT timerElapsed(WPARAM timer);
    LRESULT detach(UINT message, WPARAM wParam, LPARAM lParam);
    void clicked(std::string_view control);
    void runEntry(const std::function<void()>& entry);
    void firstPaintReached();
    void deliverUpgradeClick();
    // The window while it is on screen; boxes before that stand on their own.
    [[nodiscard]] HWND boxOwner() const;
    [[nodiscard]] COLORREF backgroundColour() const;
    [[nodiscard]] HBRUSH backgroundBrush() const;

    const BuildProfile& profile_;
    std::unique_ptr<w_vercheck> logic_;
    HWND window_ = nullptr;
    std::unique_ptr<LayoutControls> controls_;
    HBRUSH ownBrush_ = nullptr; // null: the system's button face
    std::string statusTag_;
    bool closed_ = false;
    bool failed_ = false;
    bool painted_ = false;
    bool upgradePending_ = false;
};

} // namespace qlx
