#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "support/test_files.h"
#include "window/exit_status.h"
#include "window/win32/vercheck_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <commctrl.h>
#include <memory>
#include <string>
#include <uxtheme.h>
#include <vector>

namespace qlx {
namespace {

std::wstring textOf(HWND window) {
    wchar_t buffer[256] = {};
    GetWindowTextW(window, buffer, 256);
    return buffer;
}

std::wstring classOf(HWND window) {
    wchar_t buffer[64] = {};
    GetClassNameW(window, buffer, 64);
    return buffer;
}

LONG_PTR styleOf(HWND window, int which = GWL_STYLE) {
    return GetWindowLongPtrW(window, which);
}

// What a person sees of one profile's window; places and sizes in layout units.
struct Placed {
    const char* name;
    const wchar_t* className;
    bool visible;
    int x, y, width, height;
};
struct Design {
    const BuildProfile* profile;
    const wchar_t* title;
    int width, height; // the whole window, frame included
    bool clientEdge, smoothBar, st1Centred;
    const char* topControl;
    int st1Points, st2Points;
    std::vector<Placed> controls; // in control order
};

// clang-format off
const Design kCurrent{&kCurrentProfile, L"Quillon 설치", 2139, 576, true, true, true, "st_2", 10, 9,
    {{"dw_2", L"SysListView32", false, 1152, 320, 686, 400},
     {"dw_1", L"SysListView32", false, 1723, 32, 686, 400},
     {"st_1", L"Static", true, 210, 64, 1650, 76},
     {"hpb_1", L"msctls_progress32", true, 283, 268, 1490, 92},
     {"cb_exit", L"Button", false, 1477, 256, 270, 92},
     {"cb_up", L"Button", false, 1010, 256, 270, 92},
     {"cb_exit1", L"Button", false, 1682, 256, 270, 92},
     {"st_2", L"Static", true, 210, 148, 1650, 52}}};
// Later controls stand above earlier ones, and st_2 is not raised.
const Design kLegacy{&kLegacyProfile, L"Quillon 프로그램 업그레이드", 2121, 560, false, false, false,
    "cb_exit1", 11, 10,
    {{"dw_2", L"SysListView32", false, 1152, 320, 686, 400},
     {"dw_1", L"SysListView32", false, 1723, 32, 686, 400},
     {"st_2", L"Static", true, 55, 116, 1966, 52},
     {"st_1", L"Static", true, 41, 20, 1664, 68},
     {"hpb_1", L"msctls_progress32", true, 32, 216, 1847, 64},
     {"cb_exit", L"Button", false, 1477, 256, 270, 92},
     {"cb_up", L"Button", false, 1010, 256, 270, 92},
     {"cb_exit1", L"Button", false, 1682, 256, 270, 92}}};
// clang-format on

// 0.3 screen pixels a unit, rounded.
int pixels(int units) {
    return (units * 3 + 5) / 10;
}

void expectFont(HWND control, int points, int weight) {
    LOGFONTW font{};
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the message answers with a handle.
    const auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    ASSERT_EQ(GetObjectW(handle, sizeof(font), &font), static_cast<int>(sizeof(font)));
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(std::wstring(font.lfFaceName), L"굴림체");
    EXPECT_EQ(font.lfWeight, weight);
    EXPECT_EQ(font.lfCharSet, HANGEUL_CHARSET);
    EXPECT_EQ(font.lfPitchAndFamily, FIXED_PITCH | FF_MODERN);
}

// Every box shown while the thread waits in one, with its owner; each is
// answered with its default button.
struct SeenBox {
    std::wstring title;
    HWND owner;
};
std::vector<SeenBox> seenBoxes;
BOOL CALLBACK answerBox(HWND box, LPARAM /*unused*/) {
    if (classOf(box) == L"#32770" && IsWindowVisible(box) != FALSE) {
        seenBoxes.push_back({textOf(box), GetWindow(box, GW_OWNER)});
        SendMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}
void CALLBACK answerBoxes(HWND /*unused*/, UINT /*unused*/, UINT_PTR /*unused*/, DWORD /*unused*/) {
    EnumThreadWindows(GetCurrentThreadId(), answerBox, 0);
}

// The window's own messages in the order the thread took them from its queue.
std::vector<UINT> taken;
HWND watched = nullptr;
LRESULT CALLBACK recordTaken(int code, WPARAM removal, LPARAM message) {
    const auto* m = reinterpret_cast<const MSG*>(message); // NOLINT(performance-no-int-to-ptr)
    if (code >= 0 && removal == PM_REMOVE && m->hwnd == watched) {
        taken.push_back(m->message);
    }
    return CallNextHookEx(nullptr, code, removal, message);
}

class Win32Window : public ::testing::TestWithParam<Design> {
protected:
    void SetUp() override {
        app.create();
        seenBoxes.clear();
    }
    void TearDown() override {
        window.reset();
        app.destroy();
    }
    VercheckWindow& make(const BuildProfile& profile, const std::string& commandLine = "") {
        w_vercheck::Services services = w_vercheck::systemServices();
        services.commandLine = [commandLine] { return commandLine; };
        window = std::make_unique<VercheckWindow>(profile, app, std::move(services));
        return *window;
    }

    test::TempDir install;
    version_check app;
    std::unique_ptr<VercheckWindow> window;
};

TEST_P(Win32Window, LooksAsDesigned) {
    const Design& design = GetParam();
    const HWND frame = make(*design.profile).handle();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(textOf(frame), design.title);
    EXPECT_EQ(styleOf(frame) &
                  (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_CAPTION | WS_THICKFRAME);
    EXPECT_EQ((styleOf(frame, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0, design.clientEdge);
    RECT r{};
    GetWindowRect(frame, &r);
    EXPECT_EQ(r.right - r.left, pixels(design.width));
    EXPECT_EQ(r.bottom - r.top, pixels(design.height));
    for (const Placed& item : design.controls) {
        SCOPED_TRACE(item.name);
        const HWND control = window->control(item.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(CompareStringOrdinal(classOf(control).c_str(), -1, item.className, -1, TRUE),
                  CSTR_EQUAL);
        EXPECT_EQ((styleOf(control) & WS_VISIBLE) != 0, item.visible);
        EXPECT_EQ(styleOf(control) & WS_TABSTOP, 0); // nothing to tab to
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, pixels(item.x));
        EXPECT_EQ(r.top, pixels(item.y));
        EXPECT_EQ(r.right - r.left, pixels(item.width));
        EXPECT_EQ(r.bottom - r.top, pixels(item.height));
    }
    EXPECT_EQ(GetWindow(frame, GW_CHILD), window->control(design.topControl));

    expectFont(window->control("st_1"), design.st1Points, 700);
    expectFont(window->control("st_2"), design.st2Points, 400);
    EXPECT_EQ(styleOf(window->control("st_1")) & SS_TYPEMASK,
              design.st1Centred ? SS_CENTER : SS_LEFT);
    EXPECT_EQ(styleOf(window->control("st_2")) & SS_TYPEMASK, SS_LEFT);
    for (const auto& [name, caption] :
         {std::pair{"cb_exit", L"Exit"}, std::pair{"cb_up", L"upgrade"},
          std::pair{"cb_exit1", L"exit1"}}) {
        EXPECT_EQ(textOf(window->control(name)), caption);
        expectFont(window->control(name), 10, 400);
    }

    const HWND bar = window->control("hpb_1");
    EXPECT_EQ((styleOf(bar) & PBS_SMOOTH) != 0, design.smoothBar);
    if (!design.smoothBar) { // blocks: no visual style draws them smooth
        EXPECT_EQ(GetWindowTheme(bar), nullptr);
    }
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 10);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 1);
    window->logic().uf_bar(std::string("SET"), 3);
    window->logic().uf_bar(std::string("BAR"), 2);
    window->logic().uf_bar(std::string("other"), 9);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 3);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 2);
    EXPECT_EQ(window->statusTag(), "3");
}

INSTANTIATE_TEST_SUITE_P(BothProfiles, Win32Window, ::testing::Values(kCurrent, kLegacy));

// The refusal comes before the window is on screen: its box stands alone.
TEST_F(Win32Window, RefusedStartShowsAnUnownedBoxAndNoWindow) {
    VercheckWindow& refused = make(kCurrentProfile, "   ");
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, answerBoxes);
    refused.openWindow();
    EXPECT_EQ(refused.run(), kStartRefusedStatus);
    KillTimer(nullptr, timer);
    ASSERT_EQ(seenBoxes.size(), 1U);
    EXPECT_EQ(seenBoxes[0].title, L"확인!");
    EXPECT_EQ(seenBoxes[0].owner, nullptr);
    EXPECT_TRUE(refused.isClosed());
}

// The opened window shows the upgrade text, centred; the upgrade starts once
// it has been painted, and its boxes (no update database here) belong to it.
TEST_F(Win32Window, OpenedWindowRunsTheUpgradeOnScreenAndCloses) {
    VercheckWindow& opened = make(kCurrentProfile, "/PID=1;/PSR=" + install.filePath("quil.psr") +
                                                       ";/SERVER=qlx-no-such-source;");
    opened.openWindow();
    const HWND frame = opened.handle();
    ASSERT_NE(frame, nullptr);
    EXPECT_NE(IsWindowVisible(frame), FALSE);
    EXPECT_EQ(textOf(opened.control("st_1")), L"Quillon 프로그램을 업그레이드 중입니다.");
    RECT work{};
    RECT outer{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(frame, &outer);
    EXPECT_NEAR(outer.left + outer.right, work.left + work.right, 2);
    EXPECT_NEAR(outer.top + outer.bottom, work.top + work.bottom, 2);

    watched = frame;
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, recordTaken, nullptr, GetCurrentThreadId());
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, answerBoxes);
    EXPECT_EQ(opened.run(), kDatabaseUnreachableStatus);
    KillTimer(nullptr, timer);
    UnhookWindowsHookEx(hook);
    const auto paint = std::find(taken.begin(), taken.end(), WM_PAINT) - taken.begin();
    const auto click = std::find(taken.begin(), taken.end(), WM_COMMAND) - taken.begin();
    EXPECT_LT(paint, click);
    EXPECT_EQ(std::count(taken.begin(), taken.end(), WM_COMMAND), 1);
    ASSERT_EQ(seenBoxes.size(), 2U);
    EXPECT_EQ(seenBoxes[0].title, L"Err!");
    EXPECT_EQ(seenBoxes[1].title, L"에러!");
    EXPECT_EQ(seenBoxes[0].owner, frame);
    EXPECT_EQ(seenBoxes[1].owner, frame);
    EXPECT_TRUE(opened.isClosed());
    EXPECT_EQ(opened.handle(), nullptr);
}

} // namespace
} // namespace qlx
