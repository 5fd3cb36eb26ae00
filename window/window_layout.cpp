#include "window/window_layout.h"

namespace qlx {

namespace {

constexpr std::string_view kGulimChe = "굴림체";
constexpr FontSpec kButtonFont{kGulimChe, 10, 400};

constexpr WindowLayout kCurrent{
    .width = 2139,
    .height = 576,
    .title = "Quillon 설치",
    .sunkenClientEdge = true,
    .background = Rgb{224, 224, 224},
    .textColour = Rgb{0, 0, 128},
    .smoothProgressBar = true,
    .controls = {{
        {"dw_2", ControlKind::DataTable, 1152, 320, 686, 400, false, 40, "", {}},
        {"dw_1", ControlKind::DataTable, 1723, 32, 686, 400, false, 10, "", {}},
        {"st_1", ControlKind::StaticText, 210, 64, 1650, 76, true, std::nullopt,
         "Quillon 최신버전 설지 중...", FontSpec{kGulimChe, 10, 700}, TextAlignment::Centre},
        {"hpb_1", ControlKind::ProgressBar, 283, 268, 1490, 92, true, std::nullopt, "", {}},
        {"cb_exit", ControlKind::CommandButton, 1477, 256, 270, 92, false, 30, "Exit", kButtonFont},
        {"cb_up", ControlKind::CommandButton, 1010, 256, 270, 92, false, 40, "upgrade", kButtonFont},
        {"cb_exit1", ControlKind::CommandButton, 1682, 256, 270, 92, false, 40, "exit1",
         kButtonFont},
        {"st_2", ControlKind::StaticText, 210, 148, 1650, 52, true, std::nullopt,
         "※ 인터넷 상태에 따라 설치시간이 달라질 수 있습니다.", FontSpec{kGulimChe, 9, 400},
         TextAlignment::Left, true},
    }},
};

} // namespace

const WindowLayout& currentWindowLayout() { return kCurrent; }

} // namespace qlx
