#include <gtest/gtest.h>
#include <QApplication>
#include <QFontMetrics>
#include <QProgressBar>
#include <QTest>

#include "app/Unit1.h"
#include "fake_desktop.h"
#include "image/pngimage.h"
#include "support/imagewrite.h"
#include "support/pngwrite.h"
#include "support/tempdir.h"
#include "ui/qt_app.h"

namespace pagelume::app {
namespace {

using test::FakeDesktop;
using test::TempDir;
using test::writeFile;

class WindowTest : public test::WithQtApp, public ::testing::Test {
protected:
    WindowTest() : form(exe.path(), desktop) {}

    // Where a windowless control sits in the window's coordinates.
    QRect onForm(const ui::TGraphicControl* c) const {
        return QRect(c->Parent()->mapTo(&form, c->BoundsRect().topLeft()), c->BoundsRect().size());
    }
    void addPage(const std::string& path) {
        form.ListView1->appendRow(QString::fromStdString(path));
        form.ListView1->clearSelection();
        form.ListView1->setRowSelected(form.ListView1->rowCount() - 1, true);
    }
    std::string page(const std::string& name, int w, int h) {
        writeFile(exe / name,
                  test::makePng(w, h, [](int x, int) { return x % 2 ? 0xFF000000 : 0x80FFFFFF; }));
        return exe / name;
    }

    TempDir exe;
    FakeDesktop desktop;
    TForm1 form;
};

TEST_F(WindowTest, EveryControlStandsAtItsPlace) {
    EXPECT_EQ(form.size(), QSize(719, 512));
    EXPECT_EQ(form.windowTitle(), "Pagelume 3.3");
    EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(form.pos(), QPoint(301, 146));

    struct Expected {
        const char* name;
        QRect local;
    };
    auto check = [](const char* name, QRect actual, QRect expected) {
        EXPECT_EQ(actual, expected) << name;
    };
    check("PanelTop", form.PanelTop->geometry(), {0, 0, 719, 135});
    check("PanelLeft", form.PanelLeft->geometry(), {0, 135, 171, 332});
    check("PanelLeftBtm", form.PanelLeftBtm->geometry(), {8, 0, 142, 332});
    check("PanelClient", form.PanelClient->geometry(), {171, 135, 533, 332});
    check("ListView1", form.ListView1->geometry(), {0, 0, 533, 184});
    check("PaneClientBtm", form.PaneClientBtm->geometry(), {0, 184, 533, 148});
    check("PanelImage", form.PanelImage->geometry(), {217, 31, 160, 106});
    check("PanelBtm", form.PanelBtm->geometry(), {0, 467, 719, 45});
    check("Edit1", form.Edit1->geometry(), {8, 216, 121, 21});
    check("Edit2", form.Edit2->geometry(), {8, 288, 121, 21});
    check("LabeledEdit3", form.LabeledEdit3->geometry(), {109, 36, 340, 21});
    check("LabeledEdit4", form.LabeledEdit4->geometry(), {112, 100, 337, 21});

    const std::vector<std::pair<ui::TGraphicControl*, QRect>> graphic = {
        {form.Image2, {0, 0, 333, 135}},      {form.Image4, {333, 0, 206, 135}},
        {form.Image6, {539, 0, 180, 135}},    {form.PNGButton2, {0, 40, 58, 58}},
        {form.PNGButton1, {56, 40, 58, 58}},  {form.PNGButton3, {112, 40, 73, 58}},
        {form.PNGButton4, {184, 40, 58, 58}}, {form.PNGButton5, {256, 40, 58, 58}},
        {form.ImgBtnMin, {649, 8, 25, 31}},   {form.ImgBtnClose, {673, 8, 25, 31}},
        {form.Image7, {0, 0, 8, 332}},        {form.Image8, {150, 0, 21, 332}},
        {form.Image1, {1, 1, 140, 168}},      {form.Image16, {1, 169, 140, 10}},
        {form.Image5, {1, 179, 140, 24}},     {form.Image15, {1, 203, 140, 53}},
        {form.Image12, {1, 256, 140, 24}},    {form.Image14, {1, 280, 140, 51}},
        {form.Image13, {0, 8, 533, 140}},     {form.Image17, {0, -8, 533, 16}},
        {form.Image18, {144, 0, 16, 16}},     {form.PNGButton8, {469, 16, 57, 57}},
        {form.PNGButton9, {469, 80, 57, 57}}, {form.ImageM, {16, 32, 121, 59}},
        {form.Image9, {704, 135, 15, 332}},   {form.Image3, {0, 0, 227, 45}},
        {form.Image11, {227, 0, 423, 45}},    {form.Image10, {650, 0, 69, 45}},
    };
    for (const auto& [control, rect] : graphic)
        EXPECT_EQ(control->BoundsRect(), rect);
    // Labels are as designed, or wider where this system's font needs it.
    auto fits = [](const ui::TLabel* l, QRect designed) {
        const QRect r = l->BoundsRect();
        EXPECT_EQ(r.top(), designed.top());
        EXPECT_EQ(r.height(), designed.height());
        EXPECT_EQ(r.right(), designed.right() + r.width() - designed.width())
            << "grows to the right";
        EXPECT_GE(r.width(), designed.width());
        EXPECT_GE(r.width(), QFontMetrics(l->Font).horizontalAdvance(l->Caption));
    };
    fits(form.Label2, {169, 0, 198, 14});
    EXPECT_EQ(form.Label2->Left(), 169);
    // Bound labels keep a 3-pixel gap to their edit, so they grow to the left.
    EXPECT_EQ(form.LabeledEdit3Label->BoundsRect().right() + 1 + 3, form.LabeledEdit3->x());
    EXPECT_EQ(form.LabeledEdit4Label->BoundsRect().right() + 1 + 3, form.LabeledEdit4->x());
    EXPECT_EQ(form.LabeledEdit3Label->BoundsRect().top(), 40);
    EXPECT_GE(form.LabeledEdit3Label->Width(), 69);
    EXPECT_GE(form.LabeledEdit4Label->Width(), 84);
    EXPECT_EQ(form.Label2->Caption, "Drag items to  adjust the order of png list.");
}

TEST_F(WindowTest, StackingAndChrome) {
    const auto& top = form.PanelTop->Controls();
    ASSERT_GE(top.size(), 3u);
    EXPECT_EQ(top[top.size() - 1], form.ImgBtnClose) << "the close button lies on top";
    EXPECT_EQ(top[top.size() - 2], form.ImgBtnMin);
    EXPECT_EQ(form.PanelTop->ControlAtPos({673, 20}), form.ImgBtnClose);
    EXPECT_EQ(form.PanelTop->ControlAtPos({30, 50}), form.PNGButton2) << "buttons over the header";
    EXPECT_TRUE(form.PanelImage->isHidden());
    EXPECT_EQ(form.ImgBtnMin->Picture().width(), 40);
    EXPECT_EQ(form.ImgBtnClose->Picture().width(), 24);
    EXPECT_EQ(form.PNGButton4->Caption(), "Convert");
    EXPECT_TRUE(form.PNGButton8->Caption().isEmpty());

    const QRegion mask = form.mask();
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(718, 0)));
    EXPECT_FALSE(mask.contains(QPoint(0, 511)));
    EXPECT_TRUE(mask.contains(QPoint(5, 5)));
    EXPECT_TRUE(mask.contains(QPoint(360, 0)));
    EXPECT_TRUE(mask.contains(QPoint(0, 256)));
}

TEST_F(WindowTest, HeaderMovesTheWindowOnlyWithTheLeftButton) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mousePress(form.PanelTop, Qt::RightButton, {}, {400, 20});
    EXPECT_EQ(desktop.moves, 0);
    QTest::mouseRelease(form.PanelTop, Qt::RightButton, {}, {400, 20});
    QTest::mousePress(form.PanelTop, Qt::LeftButton, {}, {400, 20});
    EXPECT_EQ(desktop.moves, 1);
    QTest::mouseRelease(form.PanelTop, Qt::LeftButton, {}, {400, 20});
    QTest::mousePress(form.PanelTop, Qt::LeftButton, {}, {30, 60});  // a toolbar button
    QTest::mouseRelease(form.PanelTop, Qt::LeftButton, {}, {30, 60});
    EXPECT_EQ(desktop.moves, 1);
    // A press handled after its button was let go (it waited while the
    // window was busy) must not glue the window to the pointer.
    form.HeaderMouseDown(Qt::LeftButton);
    EXPECT_EQ(desktop.moves, 1);
}

TEST_F(WindowTest, TitleBarButtonsMinimiseAndClose) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.PanelTop, Qt::LeftButton, {}, {655, 15});
    EXPECT_TRUE(form.windowState() & Qt::WindowMinimized);
    form.showNormal();
    QTest::mouseClick(form.PanelTop, Qt::LeftButton, {}, {690, 15});
    EXPECT_FALSE(form.isVisible());
}

// The rows of the preview that show the page, not the pane's background.
std::pair<int, int> pageRows(const ui::TPicture& picture, uint32_t background) {
    int first = -1, last = -1;
    const image::DrawSurface& b = *picture.bitmap();
    for (int y = 0; y < b.height(); ++y) {
        bool page = false;
        for (int x = 0; x < b.width(); ++x)
            page = page || (b.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF);
        if (page && first < 0)
            first = y;
        if (page)
            last = y;
    }
    return {first, last};
}

TEST_F(WindowTest, PreviewFitsEveryKindOfPageWithItsProportions) {
    const uint32_t background = form.Image1->Picture().toImage().pixel(0, 0);
    // A page wider than the pane: 140 x 112, centred in 140 x 168.
    addPage(page("wide.png", 1000, 800));
    form.ListView1Click();
    ASSERT_NE(form.Image1->Picture().bitmap(), nullptr);
    EXPECT_EQ(form.Image1->Picture().width(), 140);
    EXPECT_EQ(form.Image1->Picture().height(), 168);
    EXPECT_EQ(pageRows(form.Image1->Picture(), background), std::make_pair(28, 139));

    // Large in one direction only: it used to leave the old picture.
    addPage(page("tall.png", 150, 160));
    form.ListView1Click();
    EXPECT_EQ(pageRows(form.Image1->Picture(), background), std::make_pair(9, 157));

    // A 24-megapixel scan named .png: the bytes decide; a black border row
    // of the scan shows at the page's edge.
    writeFile(exe / "scan.png", test::makeJpeg(4000, 6000, [](int, int y) {
                  return y < 200 ? 0x000000u : 0xFF0000u;
              }));
    addPage(exe / "scan.png");
    form.ListView1Click();
    const image::DrawSurface& scan = *form.Image1->Picture().bitmap();
    EXPECT_EQ(pageRows(form.Image1->Picture(), background), std::make_pair(0, 167));
    EXPECT_LT(static_cast<int>((scan.pixel(20, 2) >> 16) & 0xFF), 8) << "the scan's top, black";
    EXPECT_NEAR(static_cast<int>((scan.pixel(20, 100) >> 16) & 0xFF), 255, 4) << "red below it";
    EXPECT_EQ(scan.pixel(5, 100) & 0xFFFFFF, background & 0xFFFFFF) << "112 wide, centred";

    // A GIF's first frame; its transparent colour shows white.
    writeFile(exe / "p.gif", test::makeGif(280, 100, {0x0000FF, 0x00FF00},
                                           [](int x, int) { return x < 140 ? 0 : 1; }, 1));
    addPage(exe / "p.gif");
    form.ListView1Click();
    const image::DrawSurface& gif = *form.Image1->Picture().bitmap();
    EXPECT_EQ(pageRows(form.Image1->Picture(), background), std::make_pair(59, 108));
    EXPECT_EQ(gif.pixel(10, 80) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(gif.pixel(130, 80) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_TRUE(desktop.errors.empty());
    EXPECT_TRUE(desktop.messages.empty());

    // Gone since it was added: the picture stays.
    addPage(page("gone.png", 10, 10));
    std::filesystem::remove(exe / "gone.png");
    form.ListView1Click();
    EXPECT_EQ(form.Image1->Picture().bitmap()->pixel(10, 80) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(WindowTest, APageThatIsNoImageGetsANoteADamagedPngTheDecodersMessage) {
    writeFile(exe / "notes.png", "just some text, no picture");
    addPage(exe / "notes.png");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QRect row = form.ListView1->rowRect(0);
    QTest::mouseClick(form.ListView1->viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text.toStdString(),
              exe / "notes.png" + " is not a PNG, JPEG or GIF image.");
    EXPECT_EQ(desktop.messages[0].caption, "Note!");
    EXPECT_TRUE(desktop.errors.empty());

    writeFile(exe / "broken.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(40, 'x'));
    addPage(exe / "broken.png");
    QTest::mouseClick(form.ListView1->viewport(), Qt::LeftButton, {}, form.ListView1->rowRect(1).center());
    ASSERT_EQ(desktop.errors.size(), 1u);
    EXPECT_EQ(desktop.errors[0].caption, "Pagelume");
    EXPECT_EQ(form.Image1->Picture().width(), 146) << "the placeholder stays";
}

TEST_F(WindowTest, ProgressBarShowsThroughTheWholeRun) {
    EXPECT_TRUE(form.ProgressBar1->isHidden());
    form.progress(epub::RunStage::Copying, 5, 10);
    EXPECT_FALSE(form.ProgressBar1->isHidden());
    EXPECT_EQ(form.ProgressBar1->value(), 50) << "copying fills the first tenth";
    form.progress(epub::RunStage::Packing, 10, 0);
    EXPECT_EQ(form.ProgressBar1->value(), 50) << "no total yet";
    form.progress(epub::RunStage::Packing, 50, 100);
    EXPECT_EQ(form.ProgressBar1->value(), 550);
    form.PNGButton4Click();  // an empty list: the run ends at once
    EXPECT_TRUE(form.ProgressBar1->isHidden());
}

}  // namespace
}  // namespace pagelume::app
