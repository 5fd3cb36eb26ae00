#include "window/window_layout.h"

namespace qlx {

namespace {
constexpr std::string_view kGulimChe = "굴림체";
constexpr FontSpec kButtonFont{kGulimChe, 10, 400};
} // namespace

constexpr WindowLayout kCurrentWindowLayout{
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
        {"cb_up", ControlKind::CommandButton, 1010, 256, 270, 92, false, 40, "upgrade",
         kButtonFont},
        {"cb_exit1", ControlKind::CommandButton, 1682, 256, 270, 92, false, 40, "exit1",
         kButtonFont},
        {"st_2", ControlKind::StaticText, 210, 148, 1650, 52, true, std::nullopt,
         "※ 인터넷 상태에 따라 설치시간이 달라질 수 있습니다.", FontSpec{kGulimChe, 9, 400},
         TextAlignment::Left, true},
    }},
};

// The legacy window: system colours, no client edge, its own control order
// (st_2 before st_1, and not brought to the top) and a bar drawn in blocks.
constexpr WindowLayout kLegacyWindowLayout{
    .width = 2121,
    .height = 560,
    .title = "Quillon 프로그램 업그레이드",
    .sunkenClientEdge = false,
    .background = std::nullopt,
    .textColour = std::nullopt,
    .smoothProgressBar = false,
    .controls = {{
        {"dw_2", ControlKind::DataTable, 1152, 320, 686, 400, false, 40, "", {}},
        {"dw_1", ControlKind::DataTable, 1723, 32, 686, 400, false, 10, "", {}},
        {"st_2", ControlKind::StaticText, 55, 116, 1966, 52, true, std::nullopt,
         "업그레이드 할 때 네트웍의 상태에 따라 몇분정도 소요가 됩니다.",
         FontSpec{kGulimChe, 10, 400}, TextAlignment::Left},
        {"st_1", ControlKind::StaticText, 41, 20, 1664, 68, true, std::nullopt,
         "Quillon 프로그램을 업그레이드 중입니다.", FontSpec{kGulimChe, 11, 700},
         TextAlignment::Left},
        {"hpb_1", ControlKind::ProgressBar, 32, 216, 1847, 64, true, std::nullopt, "", {}},
        {"cb_exit", ControlKind::CommandButton, 1477, 256, 270, 92, false, 30, "Exit", kButtonFont},
        {"cb_up", ControlKind::CommandButton, 1010, 256, 270, 92, false, 40, "upgrade",
         kButtonFont},
        {"cb_exit1", ControlKind::CommandButton, 1682, 256, 270, 92, false, 40, "exit1",
         kButtonFont},
    }},
};

} // namespace qlx
