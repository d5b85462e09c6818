#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QMimeData>
#include <QScreen>
#include <QTest>

#include "app/Unit1.h"
#include "app/large_preview.h"
#include "app/window_frame.h"
#include "fake_desktop.h"
#include "support/pngwrite.h"
#include "support/tempdir.h"
#include "ui/qt_app.h"
#include "ui/thumbnail_view.h"
#include "ui/thumbnailer.h"

namespace pagelume::app {
namespace {

using test::FakeDesktop;
using test::TempDir;
using Rows = std::vector<std::string>;

// Thumbnails go to a cache of the test's own.
struct CacheHome {
    CacheHome() { qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(dir.path())); }
    ~CacheHome() { qunsetenv("XDG_CACHE_HOME"); }
    TempDir dir;
};

class ViewsTest : public test::WithQtApp, public ::testing::Test {
protected:
    ViewsTest() : form(std::make_unique<TForm1>(exe.path(), desktop)) {
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    ui::TPageList* list() const { return form->ListView1; }
    ui::TThumbnailView* thumbs() const { return form->ThumbView1; }
    Rows rows() const {
        Rows out;
        for (int p = 0; p < list()->rowCount(); ++p)
            out.push_back((list()->rowCaption(p) + ":" + list()->rowPath(p)).toStdString());
        return out;
    }
    void add(const QStringList& paths) {
        desktop.images = paths;
        form->PNGButton2Click();
    }
    std::string png(const std::string& name, uint32_t colour, int w = 300, int h = 400) {
        test::writeFile(exe / name, test::makePng(w, h, [colour](int, int) { return colour; }));
        return exe / name;
    }
    QPoint centreOf(int row) const { return thumbs()->itemRect(row).center(); }
    void restart() {
        form->FormDestroy();
        form.reset();
        form = std::make_unique<TForm1>(exe.path(), desktop);
    }

    CacheHome cacheHome;
    TempDir exe;
    FakeDesktop desktop;
    std::unique_ptr<TForm1> form;
};

TEST_F(ViewsTest, BothViewsShowOneModelAndOneSelection) {
    add({"A", "B", "C", "D", "E"});
    EXPECT_FALSE(form->thumbnailView());
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form->Edit1, Qt::Key_T, Qt::ControlModifier);
    ASSERT_TRUE(form->thumbnailView());
    EXPECT_TRUE(list()->isHidden());
    EXPECT_EQ(thumbs()->geometry(), QRect(0, 0, 533, 184)) << "in the list's place";
    EXPECT_EQ(thumbs()->model(), list()->model());
    EXPECT_EQ(thumbs()->selectionModel(), list()->selectionModel());
    form->resize(1000, 800);  // every page on screen

    // A click in the thumbnails selects the page for the list as well.
    QCoreApplication::processEvents();
    QTest::mouseClick(thumbs()->viewport(), Qt::LeftButton, {}, centreOf(2));
    EXPECT_TRUE(list()->isRowSelected(2));
    EXPECT_EQ(list()->firstSelectedRow(), 2);
    QTest::mouseClick(thumbs()->viewport(), Qt::LeftButton, Qt::ControlModifier, centreOf(4));
    EXPECT_TRUE(list()->isRowSelected(4));
    // Delete there removes both, and the other view renumbers.
    thumbs()->setFocus();
    QTest::keyClick(thumbs(), Qt::Key_Delete);
    EXPECT_EQ(rows(), (Rows{"1:A", "2:B", "3:D"}));
    EXPECT_EQ(thumbs()->model()->rowCount(), 3);

    // Back to rows: a selection made there shows in the thumbnails.
    form->Thumbnails1->trigger();
    EXPECT_FALSE(form->thumbnailView());
    list()->setRowSelected(1, true);
    EXPECT_TRUE(thumbs()->selectionModel()->isRowSelected(1, {}));
}

TEST_F(ViewsTest, ThumbnailsMovePagesByTheListsRules) {
    add({"A", "B", "C", "D", "E"});
    form->setThumbnailView(true);
    form->resize(1000, 800);
    QCoreApplication::processEvents();
    QMimeData drag;
    drag.setData("application/x-pagelume-page-picture", QByteArray());
    EXPECT_EQ(thumbs()->insertionRowFor(thumbs(), &drag, centreOf(3)), -1) << "nothing selected";
    list()->setRowSelected(0, true);
    EXPECT_EQ(thumbs()->insertionRowFor(thumbs(), &drag, centreOf(3)), 3);
    const QPoint empty(thumbs()->viewport()->width() - 3, thumbs()->viewport()->height() - 3);
    EXPECT_EQ(thumbs()->insertionRowFor(thumbs(), &drag, empty), -1) << "no page there";

    // A dragged onto D lands before D, unselected.
    form->ListView1DragOver(thumbs(), centreOf(3));
    form->ListView1DragDrop(thumbs(), centreOf(3));
    EXPECT_EQ(rows(), (Rows{"1:B", "2:C", "3:A", "4:D", "5:E"}));
    EXPECT_EQ(list()->firstSelectedRow(), -1);
    // E dragged onto B lands before B; a drop on no page changes nothing.
    list()->setRowSelected(4, true);
    form->ListView1DragOver(thumbs(), centreOf(0));
    form->ListView1DragDrop(thumbs(), centreOf(0));
    EXPECT_EQ(rows(), (Rows{"1:E", "2:B", "3:C", "4:A", "5:D"}));
    list()->setRowSelected(1, true);
    form->ListView1DragOver(thumbs(), empty);
    form->ListView1DragDrop(thumbs(), empty);
    EXPECT_EQ(rows(), (Rows{"1:E", "2:B", "3:C", "4:A", "5:D"}));

    // Keyboard: Ctrl+Right and Ctrl+Left move the selected page by one.
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    thumbs()->setFocus();
    QTest::keyClick(thumbs(), Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(rows(), (Rows{"1:E", "2:C", "3:B", "4:A", "5:D"}));
    EXPECT_TRUE(list()->isRowSelected(2)) << "it stays selected";
    QTest::keyClick(thumbs(), Qt::Key_Left, Qt::ControlModifier);
    QTest::keyClick(thumbs(), Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(rows(), (Rows{"1:B", "2:E", "3:C", "4:A", "5:D"}));

    // Files from a file manager go before the page they are dropped on.
    const std::string f = png("new.png", 0xFF00FF00);
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(f))});
    const QPoint at = centreOf(1);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton, {});
    QApplication::sendEvent(thumbs()->viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton, {});
    QApplication::sendEvent(thumbs()->viewport(), &move);
    EXPECT_EQ(thumbs()->insertionRow(), 1) << "the line shows where they land";
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton, {});
    QApplication::sendEvent(thumbs()->viewport(), &drop);
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    EXPECT_EQ(list()->rowPath(1).toStdString(), f);
    EXPECT_EQ(list()->rowCount(), 6);
}

TEST_F(ViewsTest, ThumbnailsArriveAndTheChoiceIsRemembered) {
    add({QString::fromStdString(png("red.png", 0xFFFF0000)), "missing.png"});
    form->setThumbnailView(true);
    const pages::Page red = list()->pages().at(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Thumbnailer1->find(red) != nullptr; }, 10000));
    const QImage* picture = form->Thumbnailer1->find(red);
    EXPECT_EQ(picture->size(), QSize(120, 160));
    EXPECT_EQ(picture->pixel(60, 80), 0xFFFF0000u);
    EXPECT_TRUE(QFileInfo::exists(cacheHome.dir.path().c_str() + QString("/thumbnails/large")));

    restart();
    EXPECT_TRUE(form->thumbnailView()) << "the view chosen last";
    form->setThumbnailView(false);
    restart();
    EXPECT_FALSE(form->thumbnailView());
}

TEST_F(ViewsTest, TheWindowGrowsWithItsPanelsDockedAndComesBackAsItWas) {
    form->resize(1000, 700);
    EXPECT_EQ(form->PanelTop->geometry(), QRect(0, 0, 1000, 135));
    EXPECT_EQ(form->PanelLeft->geometry(), QRect(0, 135, 171, 520));
    EXPECT_EQ(form->PanelClient->geometry(), QRect(171, 135, 814, 520));
    EXPECT_EQ(form->PanelBtm->geometry(), QRect(0, 655, 1000, 45));
    EXPECT_EQ(list()->geometry(), QRect(0, 0, 814, 372));
    EXPECT_EQ(form->PaneClientBtm->geometry(), QRect(0, 372, 814, 148));
    EXPECT_EQ(form->Image9->BoundsRect(), QRect(985, 135, 15, 520));
    EXPECT_EQ(form->Edit2->geometry().top() - form->Image12->BoundsRect().top(), 288 - 256)
        << "the author's field stays under its heading";
    EXPECT_EQ(form->ImgBtnClose->BoundsRect(), QRect(954, 8, 25, 31));
    EXPECT_EQ(form->ImgBtnMin->BoundsRect(), QRect(930, 8, 25, 31));
    EXPECT_EQ(form->Frame1->maximizeButton()->BoundsRect(), QRect(904, 8, 28, 31));
    EXPECT_FALSE(form->mask().contains(QPoint(999, 0))) << "still rounded";
    EXPECT_TRUE(form->mask().contains(QPoint(999, 350)));
    form->resize(300, 200);
    EXPECT_EQ(form->size(), QSize(719, 512)) << "never below its designed size";

    // Dragging the bottom-right corner (the system will not here) resizes.
    const QPoint corner = form->PanelBtm->mapToGlobal(QPoint(717, 43));
    auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
        QWidget* target = form->PanelBtm;
        QMouseEvent e(type, target->mapFromGlobal(global), global,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, {});
        QApplication::sendEvent(target, &e);
    };
    send(QEvent::MouseButtonPress, corner, Qt::LeftButton);
    send(QEvent::MouseMove, corner + QPoint(81, 40), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, corner + QPoint(81, 40), Qt::NoButton);
    EXPECT_EQ(form->size(), QSize(800, 552));
    EXPECT_EQ(WindowFrame::resized({10, 10, 800, 600}, Qt::LeftEdge | Qt::TopEdge, {500, 20}, {719, 512}),
              QRect(91, 30, 719, 580));
    EXPECT_EQ(WindowFrame::edgesAt({800, 600}, {2, 598}), Qt::LeftEdge | Qt::BottomEdge);
    EXPECT_EQ(WindowFrame::edgesAt({800, 600}, {400, 300}), Qt::Edges());

    // Maximised from the title bar, restored by a double click on the header.
    form->move(40, 30);
    const QPoint maxAt = form->Frame1->maximizeButton()->BoundsRect().center() + QPoint(-6, 0);
    QTest::mouseClick(form->PanelTop, Qt::LeftButton, {}, maxAt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->isMaximized(); }, 2000));
    QTest::qWait(50);
    EXPECT_EQ(form->Frame1->maximizeButton()->Picture().width(), 29) << "the restore picture";
    EXPECT_TRUE(form->mask().isEmpty()) << "square corners fill the screen";
    EXPECT_EQ(form->ImgBtnClose->Left(), form->width() - 46);
    EXPECT_EQ(form->PanelBtm->geometry().bottom(), form->height() - 1);
    restart();
    ASSERT_TRUE(form->windowState() & Qt::WindowMaximized) << "remembered";
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QTest::mouseDClick(form->PanelTop, Qt::LeftButton, {}, {400, 60});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->isMaximized(); }, 2000));
    EXPECT_EQ(form->geometry(), QRect(40, 30, 800, 552)) << "back where it stood";
}

TEST_F(ViewsTest, ALargePreviewGoesThroughThePagesAndCloses) {
    add({QString::fromStdString(png("red.png", 0xFFFF0000)),
         QString::fromStdString(png("blue.png", 0xFF0000FF, 1200, 2400)), "missing.png"});
    list()->setRowSelected(1, true);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Space);
    TLargePreview* big = form->LargePreview1;
    ASSERT_TRUE(big->isVisible());
    EXPECT_EQ(big->currentRow(), 1);
    EXPECT_EQ(big->size(), form->screen()->geometry().size()) << "the size of the screen";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !big->loading(); }, 10000));
    const QImage& shown = big->picture();
    EXPECT_EQ(shown.height(), big->height()) << "a tall page fills the height";
    EXPECT_EQ(shown.width(), big->height() / 2);
    EXPECT_EQ(shown.pixel(shown.width() / 2, shown.height() / 2), 0xFF0000FFu);

    QTest::keyClick(big, Qt::Key_Left);
    EXPECT_EQ(big->currentRow(), 0);
    EXPECT_TRUE(list()->isRowSelected(0)) << "the list follows";
    QTest::keyClick(big, Qt::Key_Left);
    EXPECT_EQ(big->currentRow(), 0);
    QTest::keyClick(big, Qt::Key_PageDown);
    QTest::keyClick(big, Qt::Key_Right);
    EXPECT_EQ(big->currentRow(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !big->loading(); }, 10000));
    EXPECT_TRUE(big->picture().isNull()) << "a missing page shows no picture";
    QTest::keyClick(big, Qt::Key_Escape);
    EXPECT_FALSE(big->isVisible());

    // A double click on a thumbnail opens it too.
    form->setThumbnailView(true);
    QCoreApplication::processEvents();
    QTest::mouseDClick(form->ThumbView1->viewport(), Qt::LeftButton, {}, centreOf(0));
    EXPECT_TRUE(big->isVisible());
    EXPECT_EQ(big->currentRow(), 0);
    big->close();
}

TEST(WindowPlacement, OnlyFourSensibleNumbersCount) {
    TempDir dir;
    const std::string ini = dir / "config.ini";
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "a,b,c,d", "10,20,0,500", "10,20,800,-5",
                            "1,2,99999999999,4", "10, 20,800,600", "10,20,800,600x", ",,,"}) {
        test::writeFile(ini, std::string("[Options]\nWindow=") + bad + "\n");
        EXPECT_FALSE(loadWindowPlacement(ini)) << bad;
    }
    storeWindowPlacement(ini, {-40, 30, 1024, 768, true});
    const auto p = loadWindowPlacement(ini);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->left, -40);
    EXPECT_EQ(p->top, 30);
    EXPECT_EQ(p->width, 1024);
    EXPECT_EQ(p->height, 768);
    EXPECT_TRUE(p->maximized);
}

}  // namespace
}  // namespace pagelume::app
