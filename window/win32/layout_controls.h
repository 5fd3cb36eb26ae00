#pragma once

#include "window/window_layout.h"

#include <string_view>
#include <vector>
#include <windows.h>

namespace qlx {

// A layout's controls as child windows, in control order, with their fonts.
// Each control's command id is its place in control order, counted from 1.
class LayoutControls {
public:
    struct Control {
        std::string_view name;
        HWND handle;
    };

    LayoutControls(HWND parent, const WindowLayout& layout);
    // Destroys the controls in control order, then their fonts.
    ~LayoutControls();
    LayoutControls(const LayoutControls&) = delete;
    LayoutControls& operator=(const LayoutControls&) = delete;

    // Null for a name the layout does not have.
    [[nodiscard]] HWND find(std::string_view name) const;
    // Empty for an id no control has.
    [[nodiscard]] std::string_view nameOf(int commandId) const;
    [[nodiscard]] int commandIdOf(std::string_view name) const;

private:
    HFONT font(HWND parent, const FontSpec& wanted);

    std::vector<Control> controls_;
    std::vector<HFONT> fonts_;
};

} // namespace qlx
