#include <gtest/gtest.h>
#include <QTest>

#include "qt_app.h"
#include "ui/ImgBtn.h"

namespace pagelume::ui {
namespace {

TPicture solid(uint32_t colour) {
    return TPicture::fromBitmap(image::DrawSurface(25, 31, colour));
}

// A button at (10, 10) on a shown host, with three pictures told apart by colour.
class ImgBtnTest : public test::WithQtApp, public ::testing::Test {
protected:
    ImgBtnTest() {
        host.resize(100, 100);
        button = new TImgBtn(&host);
        button->SetBounds(10, 10, 25, 31);
        button->Pic = solid(0xFF000001);
        button->PicUp = solid(0xFF000002);
        button->PicDown = solid(0xFF000003);
        button->SetPicture(button->Pic);
        button->OnClick = [this] { events += "click;"; };
        button->OnMouseUp = [this](const TWMMouse&) { events += "up;"; };
        button->OnMouseLeave = [this](const TWMMouse&) { events += "leave;"; };
        host.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&host));
    }
    uint32_t shown() const {
        const image::DrawSurface* b = button->Picture().bitmap();
        return b ? b->pixel(0, 0) & 0xFF : 0;
    }

    TWinControl host;
    TImgBtn* button;
    std::string events;
};

TEST_F(ImgBtnTest, HoverPressAndClickSwapPicturesInTheirOrder) {
    button->MouseEntered();
    EXPECT_EQ(shown(), 1u) << "entering alone changes nothing";
    QTest::mouseMove(&host, {22, 22});  // (two moves: Qt drops one to the pointer's last place)
    QTest::mouseMove(&host, {20, 20});
    EXPECT_EQ(shown(), 2u);
    QTest::mousePress(&host, Qt::LeftButton, {}, {20, 20});
    EXPECT_EQ(shown(), 3u);
    QTest::mouseMove(&host, {21, 20});
    EXPECT_EQ(shown(), 2u) << "any move while held shows the hover picture";
    QTest::mouseRelease(&host, Qt::LeftButton, {}, {21, 20});
    EXPECT_EQ(shown(), 2u);
    EXPECT_EQ(events, "click;up;");
    QTest::mouseMove(&host, {80, 80});
    EXPECT_EQ(shown(), 1u);
    EXPECT_EQ(events, "click;up;leave;");
}

TEST_F(ImgBtnTest, ReleasingOutsideIsNoClick) {
    QTest::mousePress(&host, Qt::LeftButton, {}, {20, 20});
    QTest::mouseMove(&host, {80, 80});
    EXPECT_EQ(shown(), 1u) << "leaving while held shows the normal picture";
    QTest::mouseRelease(&host, Qt::LeftButton, {}, {80, 80});
    EXPECT_EQ(events, "leave;up;");
    EXPECT_EQ(shown(), 2u);
}

TEST_F(ImgBtnTest, UnsupportedButtonsKeepTheirPictureOnLeaveAndRelease) {
    button->Supported = false;
    QTest::mousePress(&host, Qt::LeftButton, {}, {20, 20});
    EXPECT_EQ(shown(), 3u);
    QTest::mouseRelease(&host, Qt::LeftButton, {}, {20, 20});
    EXPECT_EQ(shown(), 3u);
    QTest::mouseMove(&host, {80, 80});
    EXPECT_EQ(shown(), 3u);
    EXPECT_EQ(events, "click;") << "no mouse-up or leave events";
}

TEST_F(ImgBtnTest, TransparentPixelsShowWhatLiesBeneath) {
    host.Color = QColor(0x11, 0x22, 0x33);
    image::DrawSurface pic(25, 20, 0xFFFF00FF);  // key colour at the bottom-left
    pic.setPixel(3, 3, 0xFF00FF00);
    button->SetPicture(TPicture::fromBitmap(pic, true));
    const image::DrawSurface back = host.RenderBackBuffer();
    EXPECT_EQ(back.pixel(13, 13), 0xFF00FF00u);
    EXPECT_EQ(back.pixel(12, 13), 0xFF112233u);
    EXPECT_EQ(back.pixel(12, 35), 0xFF112233u) << "below the picture the control paints nothing";
}

}  // namespace
}  // namespace pagelume::ui
