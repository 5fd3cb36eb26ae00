#pragma once

#include "window/qt/vercheck_window.h"

#include <QImage>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>

namespace qlx::test {

// A control's place in layout units, as the window's description gives it.
struct Placed {
    const char* name;
    int x;
    int y;
    int width;
    int height;
};

// The window is `unitsWide` by `unitsHigh` on one scale for x and y, and
// every control stands where its units put it on that scale.
inline void expectPlacedOnOneScale(const VercheckWindow& window, int unitsWide, int unitsHigh,
                                   std::initializer_list<Placed> controls) {
    const double scale = double(window.width()) / unitsWide;
    // A window too small to read would satisfy the proportions trivially.
    EXPECT_GT(scale, 0.1);
    EXPECT_NEAR(window.height(), unitsHigh * scale, 1.0);
    for (const Placed& item : controls) {
        SCOPED_TRACE(item.name);
        const QWidget* control = window.control(item.name);
        ASSERT_NE(control, nullptr);
        const QRect g = control->geometry();
        EXPECT_NEAR(g.x(), item.x * scale, 1.0);
        EXPECT_NEAR(g.y(), item.y * scale, 1.0);
        EXPECT_NEAR(g.width(), item.width * scale, 1.0);
        EXPECT_NEAR(g.height(), item.height * scale, 1.0);
    }
}

// How many separate filled stretches the drawn bar shows along its middle
// line: one for a smooth bar (and one for its frame), many for one in blocks.
inline int filledStretches(QProgressBar& bar) {
    const QImage image = bar.grab().toImage();
    const int y = image.height() / 2;
    // The empty end of the groove.
    const QColor ground = image.pixelColor(image.width() - 3, y);
    int stretches = 0;
    bool inside = false;
    for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        const bool filled = std::abs(c.red() - ground.red()) +
                                std::abs(c.green() - ground.green()) +
                                std::abs(c.blue() - ground.blue()) >
                            60;
        stretches += filled && !inside ? 1 : 0;
        inside = filled;
    }
    return stretches;
}

} // namespace qlx::test
