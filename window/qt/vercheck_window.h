#pragma once

#include "window/w_vercheck.h"
#include "window/window_layout.h"
#include "window/window_port.h"

#include <QWidget>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

namespace qlx {

struct BuildProfile;
class ApplicationGlobals;

// The updater window on screen: the controls of the profile's layout, and the
// port through which w_vercheck reaches them.
class VercheckWindow final : public QWidget, public WindowPort {
    Q_OBJECT

public:
    // Screen pixels per layout unit, the same for x and y.
    static constexpr double kScale = kPixelsPerLayoutUnit;

    VercheckWindow(const BuildProfile& profile, ApplicationGlobals& app, QWidget* parent = nullptr);
    // With services other than the platform's (tests).
    VercheckWindow(const BuildProfile& profile, ApplicationGlobals& app,
                   w_vercheck::Services services, QWidget* parent = nullptr);
    ~VercheckWindow() override;

    // Runs the open handler and, unless it closed the window, shows it centred.
    void openWindow();

    [[nodiscard]] w_vercheck& logic() { return *logic_; }
    // The controls in control order.
    [[nodiscard]] const std::vector<QWidget*>& controls() const { return controls_; }
    [[nodiscard]] QWidget* control(const char* name) const;
    [[nodiscard]] bool isClosedByHandler() const { return closedByHandler_; }
    // Places the window in the middle of the primary screen.
    void centreOnScreen();

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // How long the upgrade click waits for the first paint at most.
    static constexpr std::chrono::milliseconds kFirstPaintWait{1000};

    void buildControls(const WindowLayout& layout);
    // A new control of `item`'s kind, its own properties set but not yet placed.
    QWidget* createControl(const ControlSpec& item, const WindowLayout& layout,
                           const QPalette& textPalette);
    void deliverUpgradeClick();

    std::unique_ptr<w_vercheck> logic_;
    std::vector<QWidget*> controls_;
    QLabel* st_1_ = nullptr;
    QProgressBar* hpb_1_ = nullptr;
    bool closedByHandler_ = false;
    bool painted_ = false;
    bool upgradePending_ = false;
};

// The font the layout names, with the substitutes that render it where it is
// not installed.
[[nodiscard]] QFont layoutFont(std::string_view face, int points, int weight);

} // namespace qlx
