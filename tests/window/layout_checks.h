#pragma once

#include "window/qt/vercheck_window.h"
#include "window/window_layout.h"

#include <gtest/gtest.h>

namespace qlx::test {

// Every control stands where the layout puts it, on the window's one scale.
inline void expectControlsFollow(const VercheckWindow& window, const WindowLayout& layout) {
    const double scale = double(window.width()) / layout.width;
    for (const ControlSpec& item : layout.controls) {
        const QRect g = window.control(item.name.data())->geometry();
        SCOPED_TRACE(item.name.data());
        EXPECT_NEAR(g.x(), item.x * scale, 1.0);
        EXPECT_NEAR(g.y(), item.y * scale, 1.0);
        EXPECT_NEAR(g.width(), item.width * scale, 1.0);
        EXPECT_NEAR(g.height(), item.height * scale, 1.0);
    }
}

} // namespace qlx::test
