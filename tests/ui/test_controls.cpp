#include <gtest/gtest.h>
#include <QTest>

#include "image/pngimage.h"
#include "qt_app.h"
#include "support/pngwrite.h"
#include "ui/bitmaps.h"
#include "ui/controls.h"
#include "ui/mainwindow.h"
#include "ui/pngextra.h"

namespace pagelume::ui {
namespace {

TEST(Docking, FollowsTopBottomLeftRightClientOrder) {
    test::qtApp();
    TWinControl host;
    host.resize(200, 100);
    auto* top = new TImage(&host);
    top->SetBounds(0, 0, 10, 20);
    top->Align = TAlign::alTop;
    auto* low = new TImage(&host);
    low->SetBounds(0, 90, 10, 10);
    low->Align = TAlign::alBottom;
    auto* lower = new TImage(&host);
    lower->SetBounds(0, 95, 10, 30);  // the lowest one goes to the very bottom
    lower->Align = TAlign::alBottom;
    auto* left = new TImage(&host);
    left->SetBounds(0, 0, 15, 1);
    left->Align = TAlign::alLeft;
    auto* fill = new TImage(&host);
    fill->Align = TAlign::alClient;
    host.AlignControls();
    EXPECT_EQ(top->BoundsRect(), QRect(0, 0, 200, 20));
    EXPECT_EQ(lower->BoundsRect(), QRect(0, 70, 200, 30));
    EXPECT_EQ(low->BoundsRect(), QRect(0, 60, 200, 10));
    EXPECT_EQ(left->BoundsRect(), QRect(0, 20, 15, 40));
    EXPECT_EQ(fill->BoundsRect(), QRect(15, 20, 185, 40));
    host.BevelWidth = 1;
    host.AlignControls();
    EXPECT_EQ(top->BoundsRect(), QRect(1, 1, 198, 20));
}

// A press whose release went elsewhere (the system took the pointer for a
// window move) must not leave the mouse bound to the pressed control.
TEST(Capture, ALostReleaseDoesNotKeepTheMouseBound) {
    test::qtApp();
    TWinControl host;
    host.resize(100, 50);
    auto* a = new TPNGButton(&host);
    a->SetBounds(0, 0, 40, 40);
    auto* b = new TPNGButton(&host);
    b->SetBounds(50, 0, 40, 40);
    int clicksA = 0, clicksB = 0;
    a->OnClick = [&] { ++clicksA; };
    b->OnClick = [&] { ++clicksB; };
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));

    QTest::mousePress(&host, Qt::LeftButton, {}, {20, 20});
    ASSERT_EQ(host.CapturedControl(), a);
    const QPoint over(70, 20);
    QMouseEvent move(QEvent::MouseMove, QPointF(over), QPointF(host.mapToGlobal(over)),
                     Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(&host, &move);  // no button held any more
    EXPECT_EQ(host.CapturedControl(), nullptr);
    EXPECT_EQ(a->State(), TPNGButtonState::pbsNormal) << "the press is forgotten";
    EXPECT_TRUE(b->MouseOver());

    QTest::mousePress(&host, Qt::LeftButton, {}, {20, 20});  // again, and lost again
    QTest::mouseClick(&host, Qt::LeftButton, {}, over);      // a fresh press goes where it is
    EXPECT_EQ(clicksB, 1);
    EXPECT_EQ(clicksA, 0);
}

TEST(Pictures, StretchedAndClippedDrawing) {
    image::DrawSurface src(2, 2, 0xFF000000);
    src.setPixel(1, 0, 0xFFFFFFFF);
    image::DrawSurface target(10, 10, 0xFF112233);
    TPicture::fromBitmap(src).draw(target, QRect(-2, -2, 8, 8));  // partly outside
    EXPECT_EQ(target.pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(target.pixel(2, 0), 0xFFFFFFFFu);  // source column 1 from x = 2
    EXPECT_EQ(target.pixel(1, 2), 0xFF000000u);  // row 1 from y = 2
    EXPECT_EQ(target.pixel(6, 6), 0xFF112233u);

    image::DrawSurface sprite(4, 3, 0xFF0000FF);
    sprite.setPixel(0, 2, 0xFFABCDEF);
    const image::DrawSurface cut = copyRect(sprite, 0, 1, 2, 4);  // two rows past the bottom
    EXPECT_EQ(cut.pixel(0, 1), 0xFFABCDEFu);
    EXPECT_EQ(cut.pixel(0, 3), 0xFFABCDEFu) << "missing rows repeat the bottom row";
}

TEST(Bitmaps, DecodersRejectWhatTheyCannotRead) {
    const unsigned char junk[] = "not a picture at all, really";
    EXPECT_THROW(decodeJpeg(junk, sizeof junk), Exception);
    EXPECT_THROW(decodeBmp(junk, sizeof junk), Exception);
    // A bitmap header claiming far more pixels than the data holds.
    std::vector<unsigned char> bmp(60, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    bmp[10] = 54;
    bmp[14] = 40;
    bmp[18] = 0xFF;  // width 255
    bmp[22] = 0xFF;  // height 255
    bmp[28] = 24;
    EXPECT_THROW(decodeBmp(bmp.data(), bmp.size()), Exception);
}

TEST(Bitmaps, SkinPicturesHaveTheirSizes) {
    test::qtApp();
    EXPECT_EQ(SkinPicture("header.jpg").width(), 333);
    EXPECT_EQ(SkinPicture("header_fill.jpg").width(), 6);
    EXPECT_EQ(SkinPicture("preview_placeholder.jpg").height(), 175);
    const TPicture sprite = SkinPicture("sprite.bmp");
    EXPECT_EQ(sprite.width(), 121);
    EXPECT_GE(sprite.height(), 59);
    const TPicture icon = SkinPicture("icon_add.png");
    ASSERT_NE(icon.png(), nullptr);
    EXPECT_EQ(icon.width(), 32);
    EXPECT_EQ(icon.png()->TransparencyMode(), image::TPNGTransparencyMode::ptmPartial);
}

}  // namespace
}  // namespace pagelume::ui
