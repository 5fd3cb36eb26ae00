#include "app/version_check.h"
#include "legacy/build_profile.h"
#include "window/qt/layout_checks.h"
#include "window/qt/vercheck_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QRawFont>

#include <gtest/gtest.h>

#include <string>

namespace qlx {
namespace {

// Renders the window as a person would see it and keeps the picture; every
// character of its texts must come from a font that has a glyph for it, or the
// user would see boxes.
TEST(Render, WindowTextsHaveEveryGlyph) {
    version_check app;
    app.create();
    {
        VercheckWindow window(currentProfile(), app);
        window.show();
        const QImage image = window.grab().toImage();
        ASSERT_FALSE(image.isNull());
        const QString out = QDir(QCoreApplication::applicationDirPath())
                                .absoluteFilePath(QStringLiteral("w_vercheck.png"));
        ASSERT_TRUE(image.save(out)) << out.toStdString();

        for (const char* name : {"st_1", "st_2"}) {
            const auto* label = qobject_cast<QLabel*>(window.control(name));
            ASSERT_NE(label, nullptr);
            const QRawFont raw = QRawFont::fromFont(label->font());
            ASSERT_TRUE(raw.isValid()) << name;
            SCOPED_TRACE(raw.familyName().toStdString());
            for (const QChar c : label->text()) {
                EXPECT_TRUE(raw.supportsCharacter(c))
                    << name << " lacks U+" << QString::number(c.unicode(), 16).toStdString();
            }
        }
        // The picture is not blank: the navy text is drawn on the grey ground.
        bool navy = false;
        for (int y = 0; y < image.height() && !navy; ++y) {
            for (int x = 0; x < image.width() && !navy; ++x) {
                const QColor c = image.pixelColor(x, y);
                navy = c.blue() > 80 && c.red() < 80 && c.green() < 80;
            }
        }
        EXPECT_TRUE(navy);

        // The current bar is drawn smooth, as one stretch.
        auto* bar = qobject_cast<QProgressBar*>(window.control("hpb_1"));
        ASSERT_NE(bar, nullptr);
        window.logic().uf_bar(std::string("BAR"), 6);
        EXPECT_LE(test::filledStretches(*bar), 2);
    }
    app.destroy();
}

} // namespace
} // namespace qlx
