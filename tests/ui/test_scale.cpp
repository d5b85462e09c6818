#include <gtest/gtest.h>

#include <set>

#include "qt_app.h"
#include "support/pngwrite.h"
#include "ui/mainwindow.h"
#include "ui/pngextra.h"

namespace pagelume::ui {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kRed = 0xFFFF0000;

// Aligned 2 x 2 blocks of a region that are not one colour: none when the
// region was drawn at half the size and pixel-doubled.
int mixedBlocks(const image::DrawSurface& s, QRect r) {
    int mixed = 0;
    for (int y = r.top() & ~1; y + 1 <= r.bottom(); y += 2)
        for (int x = r.left() & ~1; x + 1 <= r.right(); x += 2) {
            const uint32_t c = s.pixel(x, y);
            if (s.pixel(x + 1, y) != c || s.pixel(x, y + 1) != c || s.pixel(x + 1, y + 1) != c)
                ++mixed;
        }
    return mixed;
}

std::set<uint32_t> coloursIn(const image::DrawSurface& s, QRect r) {
    std::set<uint32_t> out;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            out.insert(s.pixel(x, y));
    return out;
}

QRect boundsOf(const image::DrawSurface& s, uint32_t colour) {
    QRect r;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            if (s.pixel(x, y) == colour)
                r |= QRect(x, y, 1, 1);
    return r;
}

class ScaleTest : public test::WithQtApp, public ::testing::Test {
protected:
    ScaleTest() {
        host.resize(120, 90);
        host.Color = Qt::white;
        button = new TPNGButton(&host);
        button->SetBounds(10, 10, 58, 58);
        button->SetButtonStyle(TPNGButtonStyle::pbsFlat);
        button->SetCaption("Add");
        button->FontColor = Qt::black;
        const std::string png = test::makePng(32, 32, [](int, int) { return kRed; });
        button->LoadImageNormal(png.data(), png.size());
    }
    TWinControl host;
    TPNGButton* button;
};

TEST_F(ScaleTest, TwiceTheDevicePixelsSameLayoutSharperText) {
    const image::DrawSurface one = host.RenderBackBuffer();
    const image::DrawSurface two = host.RenderBackBuffer(2.0);
    ASSERT_EQ(two.width(), 240);
    ASSERT_EQ(two.height(), 180);

    // The picture stands at the same logical place, twice the size.
    const QRect red1 = boundsOf(one, kRed), red2 = boundsOf(two, kRed);
    ASSERT_FALSE(red1.isEmpty());
    EXPECT_EQ(red2, QRect(red1.topLeft() * 2, red1.size() * 2));

    // The caption is drawn at the finer resolution: its edges have
    // in-between greys, and 2 x 2 blocks are not all one colour.
    const QRect caption1(10, red1.bottom() + 5, 58, 68 - red1.bottom() - 5);
    const QRect caption2(caption1.topLeft() * 2, caption1.size() * 2);
    const std::set<uint32_t> greys = coloursIn(two, caption2);
    EXPECT_GT(greys.size(), 4u) << "anti-aliased edges";
    EXPECT_GT(mixedBlocks(two, caption2), 10) << "not a pixel-doubled 1x caption";
    EXPECT_GT(coloursIn(one, caption1).size(), 2u);
}

TEST_F(ScaleTest, FramesStayOneLogicalPixelAndFractionalRatiosRound) {
    button->SetCaption("");
    button->SetEnabled(false);
    button->SetEnabled(true);
    // A press with the pointer over it: the sunken frame.
    button->MouseEntered();
    button->LeftButtonDown({{}, Qt::LeftButton, {5, 5}});
    const QPalette pal;
    const uint32_t shadow = pal.color(QPalette::Dark).rgb();
    const image::DrawSurface two = host.RenderBackBuffer(2.0);
    EXPECT_EQ(two.pixel(20, 40), shadow);
    EXPECT_EQ(two.pixel(21, 40), shadow) << "two device pixels wide";
    EXPECT_EQ(two.pixel(22, 40), kWhite);
    EXPECT_EQ(two.pixel(19, 40), kWhite);

    const image::DrawSurface half = host.RenderBackBuffer(1.5);
    EXPECT_EQ(half.width(), 180);
    EXPECT_EQ(half.height(), 135);
    EXPECT_EQ(half.pixel(15, 30), shadow) << "the frame's column at 10 * 1.5";
    button->LeftButtonUp({{}, Qt::NoButton, {5, 5}});
}

TEST(Scale, SkinPicturesAreScaledSmoothlyOnlyAboveOneToOne) {
    test::qtApp();
    TWinControl host;
    host.resize(40, 10);
    image::DrawSurface twoPixels(2, 1, 0xFF000000);
    twoPixels.setPixel(1, 0, kWhite);
    auto* img = new TImage(&host);
    img->SetBounds(0, 0, 40, 10);
    img->Stretch = true;
    img->SetPicture(TPicture::fromBitmap(twoPixels));
    EXPECT_EQ(coloursIn(host.RenderBackBuffer(), QRect(0, 0, 40, 10)),
              (std::set<uint32_t>{0xFF000000, kWhite}))
        << "one to one: pixel for pixel, as always";
    EXPECT_GT(coloursIn(host.RenderBackBuffer(2.0), QRect(0, 0, 80, 20)).size(), 4u);

    // A transparent bitmap keeps its holes when scaled.
    image::DrawSurface keyed(2, 2, 0xFF00FF00);
    keyed.setPixel(0, 0, 0xFF0000FF);
    img->SetPicture(TPicture::fromBitmap(keyed, true));
    host.Color = QColor::fromRgb(kRed);
    const image::DrawSurface two = host.RenderBackBuffer(2.0);
    EXPECT_EQ(two.pixel(79, 19), kRed) << "the key colour shows the background";
}

TEST(Scale, TheWholeWindowKeepsItsLayoutAtEveryRatio) {
    test::qtApp();
    TWinControl form;
    TMainControls c;
    CreateMainControls(&form, c);
    SetUpChrome(&form, c);
    for (qreal dpr : {1.0, 1.5, 2.0}) {
        for (TWinControl* panel : {c.PanelTop, c.PanelBtm, c.PanelLeftBtm, c.PaneClientBtm}) {
            const image::DrawSurface b = panel->RenderBackBuffer(dpr);
            EXPECT_EQ(b.width(), qRound(panel->width() * dpr));
            EXPECT_EQ(b.height(), qRound(panel->height() * dpr));
        }
        EXPECT_EQ(c.PNGButton4->BoundsRect(), QRect(184, 40, 58, 58));
    }
    // The header picture fills its place at 2x: no background shows through.
    const image::DrawSurface header = c.PanelTop->RenderBackBuffer(2.0);
    const uint32_t bg = c.PanelTop->Color.rgb() | 0xFF000000u;
    for (int x = 0; x < 666; x += 7)
        EXPECT_NE(header.pixel(x, 269), bg) << x;
}

}  // namespace
}  // namespace pagelume::ui
