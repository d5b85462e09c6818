#include <gtest/gtest.h>
#include <QFontMetrics>
#include <QTest>

#include "qt_app.h"
#include "support/pngwrite.h"
#include "ui/pngextra.h"

namespace pagelume::ui {
namespace {

constexpr uint32_t kBackground = 0xFF336699;
constexpr uint32_t kRed = 0xFFFF0000;

// A 58 x 58 flat button at (10, 10) with an opaque red 32 x 32 picture.
class PNGButtonTest : public test::WithQtApp, public ::testing::Test {
protected:
    PNGButtonTest() {
        host.resize(120, 120);
        host.Color = QColor::fromRgb(kBackground);
        button = new TPNGButton(&host);
        button->SetBounds(10, 10, 58, 58);
        button->SetButtonStyle(TPNGButtonStyle::pbsFlat);
        const std::string png = test::makePng(32, 32, [](int, int) { return kRed; });
        button->LoadImageNormal(png.data(), png.size());
        button->OnClick = [this] { clicks.push_back(button->State()); };
        host.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&host));
    }
    // The top-left corner of the red square in the host's picture, or (-1, -1).
    QPoint redAt() const {
        const image::DrawSurface back = host.RenderBackBuffer();
        for (int y = 0; y < back.height(); ++y)
            for (int x = 0; x < back.width(); ++x)
                if (back.pixel(x, y) == kRed)
                    return {x, y};
        return {-1, -1};
    }
    // Qt drops a move to where it believes the pointer already is, which
    // may be left over from another test's window: step beside it first.
    void hover(QPoint p) {
        QTest::mouseMove(&host, p + QPoint(1, 1));
        QTest::mouseMove(&host, p);
    }
    int textHeight() const { return QFontMetrics(button->Font).height(); }

    TWinControl host;
    TPNGButton* button;
    std::vector<TPNGButtonState> clicks;
};

TEST_F(PNGButtonTest, PictureAloneIsCentred) {
    EXPECT_EQ(redAt(), QPoint(10 + 13, 10 + 13));
    const image::DrawSurface back = host.RenderBackBuffer();
    EXPECT_EQ(back.pixel(10 + 12, 30), kBackground);
    EXPECT_EQ(back.pixel(10 + 44, 30), kRed);
    EXPECT_EQ(back.pixel(10 + 45, 30), kBackground);
    EXPECT_EQ(back.pixel(10, 10), kBackground) << "a flat button at rest has no frame";
}

TEST_F(PNGButtonTest, CaptionStacksBelowThePictureWithAGap) {
    button->SetCaption("Add");
    const int imageY = (58 - 36 - textHeight()) / 2;
    EXPECT_EQ(redAt(), QPoint(10 + 13, 10 + imageY));
    const image::DrawSurface back = host.RenderBackBuffer();
    bool textFound = false;
    for (int y = 10 + imageY + 36; y < 10 + imageY + 36 + textHeight(); ++y)
        for (int x = 10; x < 68; ++x)
            textFound |= back.pixel(x, y) != kBackground;
    EXPECT_TRUE(textFound);
    for (int y = 10 + imageY + 32; y < 10 + imageY + 35; ++y)
        EXPECT_EQ(back.pixel(30, y), kBackground) << "the 4-pixel gap, row " << y;
}

TEST_F(PNGButtonTest, PressingOffsetsAndSinksAndDraggingOutRaises) {
    hover({30, 30});
    EXPECT_TRUE(button->MouseOver());
    QTest::mousePress(&host, Qt::LeftButton, {}, {30, 30});
    EXPECT_EQ(button->State(), TPNGButtonState::pbsDown);
    EXPECT_EQ(redAt(), QPoint(10 + 15, 10 + 15));
    const QPalette pal;
    image::DrawSurface back = host.RenderBackBuffer();
    EXPECT_EQ(back.pixel(10, 10), pal.color(QPalette::Dark).rgb()) << "sunken frame";
    EXPECT_EQ(back.pixel(67, 67), pal.color(QPalette::Light).rgb());

    hover({100, 100});  // still held: the button keeps the mouse
    EXPECT_FALSE(button->MouseOver());
    EXPECT_EQ(redAt(), QPoint(10 + 13, 10 + 13));
    back = host.RenderBackBuffer();
    EXPECT_EQ(back.pixel(10, 10), pal.color(QPalette::Light).rgb()) << "raised frame";

    hover({30, 30});
    EXPECT_EQ(redAt(), QPoint(10 + 15, 10 + 15)) << "back inside: pressed look again";
    QTest::mouseRelease(&host, Qt::LeftButton, {}, {30, 30});
    EXPECT_EQ(clicks, std::vector<TPNGButtonState>{TPNGButtonState::pbsNormal})
        << "the state is normal again when the click handler runs";
    EXPECT_EQ(button->State(), TPNGButtonState::pbsNormal);
}

TEST_F(PNGButtonTest, RightButtonAndReleaseOutsideDoNotClick) {
    hover({30, 30});
    QTest::mousePress(&host, Qt::RightButton, {}, {30, 30});
    EXPECT_EQ(button->State(), TPNGButtonState::pbsNormal);
    EXPECT_EQ(redAt(), QPoint(10 + 13, 10 + 13));
    QTest::mouseRelease(&host, Qt::RightButton, {}, {30, 30});
    QTest::mousePress(&host, Qt::LeftButton, {}, {30, 30});
    hover({100, 100});
    QTest::mouseRelease(&host, Qt::LeftButton, {}, {100, 100});
    EXPECT_TRUE(clicks.empty());
    EXPECT_EQ(button->State(), TPNGButtonState::pbsNormal);
}

TEST_F(PNGButtonTest, CaptionWiderThanTheButtonStaysInsideIt) {
    button->SetCaption("A caption far wider than the button");
    hover({30, 30});  // raised frame: the text is clipped inside it
    ASSERT_TRUE(button->MouseOver());
    const image::DrawSurface back = host.RenderBackBuffer();
    const QPalette pal;
    for (int y = 10; y < 68; ++y) {
        EXPECT_EQ(back.pixel(9, y), kBackground);
        EXPECT_EQ(back.pixel(68, y), kBackground);
        if (y < 67) {
            EXPECT_EQ(back.pixel(10, y), pal.color(QPalette::Light).rgb()) << y;
        }
        EXPECT_EQ(back.pixel(67, y), pal.color(QPalette::Dark).rgb()) << y;
    }
}

TEST_F(PNGButtonTest, DisabledButtonIsFadedFramelessAndDeaf) {
    button->SetCaption("Add");
    const image::DrawSurface enabled = host.RenderBackBuffer();
    button->SetEnabled(false);
    EXPECT_EQ(button->State(), TPNGButtonState::pbsDisabled);
    EXPECT_EQ(button->DisabledImage().ToARGB().pixels.at(0) >> 24, 255u / 3);

    hover({30, 30});
    QTest::mousePress(&host, Qt::LeftButton, {}, {30, 30});
    QTest::mouseRelease(&host, Qt::LeftButton, {}, {30, 30});
    EXPECT_FALSE(button->MouseOver());
    EXPECT_TRUE(clicks.empty());

    const image::DrawSurface back = host.RenderBackBuffer();
    const int imageY = (58 - 36 - textHeight()) / 2;
    auto blend = [](uint32_t s, uint32_t d, uint32_t a) {
        return (s * a + (255 - a) * d + 255) >> 8;
    };
    const uint32_t faded = 0xFF000000u | (blend(0xFF, 0x33, 85) << 16) | (blend(0, 0x66, 85) << 8) |
                           blend(0, 0x99, 85);
    EXPECT_EQ(back.pixel(10 + 20, 10 + imageY + 5), faded);
    EXPECT_EQ(back.pixel(10, 10), kBackground) << "no frame";
    bool textDiffers = false;
    for (int y = 10 + imageY + 36; y < 68; ++y)
        for (int x = 10; x < 68; ++x)
            textDiffers |= back.pixel(x, y) != enabled.pixel(x, y);
    EXPECT_TRUE(textDiffers) << "the caption turns grey";

    button->SetEnabled(true);
    EXPECT_EQ(button->State(), TPNGButtonState::pbsNormal);
}

}  // namespace
}  // namespace pagelume::ui
