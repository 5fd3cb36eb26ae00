#include "platform/text_encoding.h"
#include "window/build_profile.h"
#include "window/run_window.h"
#include "window/win32/message_boxes.h"
#include "window/win32/vercheck_window.h"

#include <commctrl.h>
#include <imm.h>
#include <utility>

namespace qlx {

namespace {

const wchar_t* const kWindowClass = L"qlx_w_vercheck";
// How long the upgrade click waits for the first paint at most, in ms.
constexpr UINT kFirstPaintWait = 1000;
constexpr UINT_PTR kFirstPaintTimer = 1;

void registerWindowClass(WNDPROC procedure) {
    static const bool registered = [procedure] {
        // Nothing in the window or its boxes takes typed text, so the thread
        // needs no input method: without this, the first window would bring
        // the input method's own window and, on activation, COM with it.
        ImmDisableIME(0);
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS |
                                                                        ICC_LISTVIEW_CLASSES |
                                                                        ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        windowClass.hIconSm = LoadIconW(nullptr, IDI_APPLICATION);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        // The background depends on the profile; WM_ERASEBKGND paints it.
        windowClass.hbrBackground = nullptr;
        windowClass.lpszClassName = kWindowClass;
        return RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
}

COLORREF toColorRef(const Rgb& rgb) {
    return RGB(rgb.red, rgb.green, rgb.blue);
}

// The device context that WM_ERASEBKGND and WM_CTLCOLORSTATIC carry.
HDC dcOf(WPARAM wParam) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the message carries a handle.
    return reinterpret_cast<HDC>(wParam);
}

// The window is made where it is shown, centred on the work area: moving it
// there afterwards costs a round of position messages and a move of the
// display's window for nothing.
POINT centredOnScreen(SIZE size) {
    RECT work{};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) == FALSE) {
        return {CW_USEDEFAULT, CW_USEDEFAULT};
    }
    return {work.left + (work.right - work.left - size.cx) / 2,
            work.top + (work.bottom - work.top - size.cy) / 2};
}

} // namespace

VercheckWindow::VercheckWindow(const BuildProfile& profile, ApplicationGlobals& app)
    : VercheckWindow(profile, app, w_vercheck::systemServices()) {}

VercheckWindow::VercheckWindow(const BuildProfile& profile, ApplicationGlobals& app,
                               w_vercheck::Services services)
    : profile_(profile),
      logic_(std::make_unique<w_vercheck>(profile, app, *this, std::move(services))) {
    const WindowLayout& layout = *profile.layout;
    if (layout.background) {
        ownBrush_ = CreateSolidBrush(toColorRef(*layout.background));
    }
    registerWindowClass(&VercheckWindow::windowProcedure);
    // A caption without the system menu: no close, minimise or maximise box.
    const DWORD style = WS_CAPTION | WS_THICKFRAME | WS_CLIPCHILDREN;
    const DWORD extendedStyle = layout.sunkenClientEdge ? WS_EX_CLIENTEDGE : 0;
    const std::wstring title = toUtf16(std::string(layout.title));
    const SIZE size{toPixels(layout.width), toPixels(layout.height)};
    const POINT at = centredOnScreen(size);
    CreateWindowExW(extendedStyle, kWindowClass, title.c_str(), style, at.x, at.y, size.cx, size.cy,
                    nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (window_ != nullptr) {
        controls_ = std::make_unique<LayoutControls>(window_, layout);
    }
}

VercheckWindow::~VercheckWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    if (ownBrush_ != nullptr) {
        DeleteObject(ownBrush_);
    }
}

HWND VercheckWindow::control(std::string_view name) const {
    return controls_ ? controls_->find(name) : nullptr;
}

// ---------------------------------------------------------------------------
// The run.

void VercheckWindow::runEntry(const std::function<void()>& entry) {
    if (!runEventEntry(boxOwner(), entry)) {
        failed_ = true;
    }
}

void VercheckWindow::openWindow() {
    runEntry([this] { logic_->open(); });
    if (closed_ || failed_) {
        return;
    }
    if (window_ == nullptr) {
        // No window to wait for: the update runs all the same.
        if (upgradePending_) {
            upgradePending_ = false;
            clicked("cb_up");
        }
        return;
    }
    ShowWindow(window_, SW_SHOWNORMAL);
    // Where the window is never painted (minimised at start), the update
    // must still run.
    SetTimer(window_, kFirstPaintTimer, kFirstPaintWait, nullptr);
}

int VercheckWindow::run() {
    MSG message{};
    while (!closed_ && !failed_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            break;
        }
        if (got == -1) {
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return failed_ ? kUnexpectedErrorStatus : logic_->exitStatus();
}

// ---------------------------------------------------------------------------
// Messages.

LRESULT CALLBACK VercheckWindow::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the message carries the creation data.
        const auto* creation = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<VercheckWindow*>(creation->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the window's own pointer, set above.
    auto* self = reinterpret_cast<VercheckWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->onMessage(message, wParam, lParam);
}

LRESULT VercheckWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return eraseBackground(dcOf(wParam));
    case WM_PAINT:
        return paintWindow();
    case WM_CTLCOLORSTATIC:
        return colourStatic(dcOf(wParam));
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && controls_) {
            clicked(controls_->nameOf(LOWORD(wParam)));
        }
        return 0;
    case WM_TIMER:
        return timerElapsed(wParam);
    case WM_CLOSE:
        // Only the window's handlers close it: a close from outside would pull
        // the window from under an update that is still running.
        return 0;
    case WM_DESTROY:
        controls_.reset();
        return 0;
    case WM_NCDESTROY:
        return detach(message, wParam, lParam);
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}

LRESULT VercheckWindow::eraseBackground(HDC dc) const {
    RECT client{};
    GetClientRect(window_, &client);
    FillRect(dc, &client, backgroundBrush());
    return 1;
}

LRESULT VercheckWindow::paintWindow() {
    PAINTSTRUCT paint{};
    BeginPaint(window_, &paint);
    EndPaint(window_, &paint);
    firstPaintReached();
    return 0;
}

// The static texts draw in the layout's text colour on the window's background.
LRESULT VercheckWindow::colourStatic(HDC dc) const {
    const WindowLayout& layout = *profile_.layout;
    SetTextColor(dc, layout.textColour ? toColorRef(*layout.textColour)
                                       : GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, backgroundColour());
    return reinterpret_cast<LRESULT>(backgroundBrush());
}

LRESULT VercheckWindow::timerElapsed(WPARAM timer) {
    if (timer == kFirstPaintTimer) {
        KillTimer(window_, kFirstPaintTimer);
        if (upgradePending_) {
            deliverUpgradeClick();
        }
    }
    return 0;
}

// The window's last message: it lets go of this object first.
LRESULT VercheckWindow::detach(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = window_;
    window_ = nullptr;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    return DefWindowProcW(window, message, wParam, lParam);
}

void VercheckWindow::clicked(std::string_view control) {
    if (control == "cb_up") {
        runEntry([this] { logic_->cb_up_clicked(); });
    } else if (control == "cb_exit") {
        runEntry([this] { logic_->cb_exit_clicked(); });
    } else if (control == "cb_exit1") {
        runEntry([this] { logic_->cb_exit1_clicked(); });
    }
}

// The update runs on the window's own thread and paints only between package
// chunks: started before the first paint, it would leave an empty window
// through the connect and the first download. The click waits for the paint.
void VercheckWindow::firstPaintReached() {
    if (painted_) {
        return;
    }
    painted_ = true;
    if (upgradePending_) {
        deliverUpgradeClick();
    }
}

void VercheckWindow::deliverUpgradeClick() {
    upgradePending_ = false;
    if (window_ == nullptr) {
        return;
    }
    KillTimer(window_, kFirstPaintTimer);
    // The controls paint after their parent; they are drawn before the click.
    RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const int cb_up = controls_ ? controls_->commandIdOf("cb_up") : 0;
    PostMessageW(window_, WM_COMMAND, MAKEWPARAM(cb_up, BN_CLICKED),
                 reinterpret_cast<LPARAM>(control("cb_up")));
}

HWND VercheckWindow::boxOwner() const {
    return window_ != nullptr && IsWindowVisible(window_) != FALSE ? window_ : nullptr;
}

COLORREF VercheckWindow::backgroundColour() const {
    const WindowLayout& layout = *profile_.layout;
    return layout.background ? toColorRef(*layout.background) : GetSysColor(COLOR_BTNFACE);
}

HBRUSH VercheckWindow::backgroundBrush() const {
    return ownBrush_ != nullptr ? ownBrush_ : GetSysColorBrush(COLOR_BTNFACE);
}

// ---------------------------------------------------------------------------
// WindowPort

void VercheckWindow::setProgressMaximum(int maximum) {
    HWND bar = control("hpb_1");
    // The minimum stays what the bar has.
    const auto minimum = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, TRUE, 0));
    SendMessageW(bar, PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
}

void VercheckWindow::setProgressPosition(int position) {
    SendMessageW(control("hpb_1"), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void VercheckWindow::setStatusText(const std::string& text) {
    SetWindowTextW(control("st_1"), toUtf16(text).c_str());
}

void VercheckWindow::setStatusTag(const std::string& tag) {
    statusTag_ = tag;
}

void VercheckWindow::messageBox(const std::string& title, const std::string& text) {
    informationBox(boxOwner(), title, text);
}

int VercheckWindow::askYesNo(const std::string& title, const std::string& text) {
    return yesNoBox(boxOwner(), title, text);
}

void VercheckWindow::processPendingEvents() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (message.message == WM_QUIT) {
            // For the loop that waits for it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void VercheckWindow::postUpgradeClick() {
    if (painted_) {
        deliverUpgradeClick();
        return;
    }
    upgradePending_ = true;
}

void VercheckWindow::closeWindow() {
    closed_ = true;
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

} // namespace qlx
