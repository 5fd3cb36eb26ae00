#pragma once

#include <array>
#include <cmath>
#include <optional>
#include <string_view>

namespace qlx {

// The design-time look of the updater window, in the toolkit's layout units.
// Plain data, so that the core can own it and the window only draws it.

enum class ControlKind { DataTable, StaticText, ProgressBar, CommandButton };
enum class TextAlignment { Left, Centre };

struct Rgb {
    int red;
    int green;
    int blue;
};

struct FontSpec {
    std::string_view face; // UTF-8
    int points;
    int weight; // 400 normal, 700 bold
};

struct ControlSpec {
    std::string_view name;
    ControlKind kind;
    int x;
    int y;
    int width;
    int height;
    bool visible;
    std::optional<int> tabOrder;
    std::string_view text; // UTF-8; text or caption
    FontSpec font;
    TextAlignment alignment = TextAlignment::Left;
    bool raised = false; // brought to the top of the control stack
};

struct WindowLayout {
    int width;
    int height;
    std::string_view title;
    bool sunkenClientEdge;
    // Null: the system's button-face and window-text colours.
    std::optional<Rgb> background;
    std::optional<Rgb> textColour;
    bool smoothProgressBar;
    std::array<ControlSpec, 8> controls; // in control order
};

// The current updater's window, and the legacy updater's.
extern const WindowLayout kCurrentWindowLayout;
extern const WindowLayout kLegacyWindowLayout;
inline const WindowLayout& currentWindowLayout() {
    return kCurrentWindowLayout;
}

// Screen pixels per layout unit, the same for x and y and for every window of
// the updater, whichever toolkit draws it.
inline constexpr double kPixelsPerLayoutUnit = 0.3;
[[nodiscard]] inline int toPixels(int units) {
    return static_cast<int>(std::lround(units * kPixelsPerLayoutUnit));
}

// The progress bar's design-time values.
inline constexpr int kProgressMaximum = 10;
inline constexpr int kProgressPosition = 1;
inline constexpr int kProgressStep = 1;

} // namespace qlx
