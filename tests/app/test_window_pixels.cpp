// The window at its normal size, drawn pixel for pixel as it was before it
// could grow: the reference picture was drawn by window_reference.cpp built
// on that window. Only the maximise button, which came with the growing
// window, may differ.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>

#include "app/Unit1.h"
#include "fake_desktop.h"
#include "image/pngimage.h"
#include "support/tempdir.h"
#include "ui/qt_app.h"
#include "window_scene.h"

namespace pagelume::app {
namespace {

// The maximise button's cells in the title bar: 28 x 31 at 96 pixels from the
// right edge, the minimise button on top of its last column.
const QRect kMaximizeButton(719 - 96, 8, 28, 31);

QImage loadReference(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    QImage out;
    image::DecodeRows(
        bytes.constData(), static_cast<size_t>(bytes.size()),
        [&](int w, int h) { out = QImage(w, h, QImage::Format_RGB32); },
        [&](uint32_t y, const uint32_t* argb) {
            auto* line = reinterpret_cast<uint32_t*>(out.scanLine(static_cast<int>(y)));
            for (int x = 0; x < out.width(); ++x)
                line[x] = 0xFF000000u | argb[x];
        });
    return out;
}

class WindowPixelsTest : public test::WithQtApp, public ::testing::Test {
protected:
    WindowPixelsTest() : form(exe.path(), desktop) {}
    test::TempDir exe;
    test::FakeDesktop desktop;
    TForm1 form;
};

TEST_F(WindowPixelsTest, NormalSizeDrawnAsBeforeItCouldGrow) {
    const QImage reference = loadReference(PAGELUME_SOURCE_DIR "/tests/app/data/window_719x512.png");
    ASSERT_EQ(reference.size(), QSize(719, 512)) << "the reference picture is missing or damaged";
    const QImage now = test::drawWindowScene(form);
    ASSERT_EQ(now.size(), reference.size());

    int differing = 0, insideButton = 0;
    QRect where;
    for (int y = 0; y < now.height(); ++y) {
        for (int x = 0; x < now.width(); ++x) {
            if ((now.pixel(x, y) & 0xFFFFFF) == (reference.pixel(x, y) & 0xFFFFFF))
                continue;
            if (kMaximizeButton.contains(x, y)) {
                ++insideButton;
                continue;
            }
            if (differing++ == 0)
                where = QRect(x, y, 1, 1);
            where |= QRect(x, y, 1, 1);
        }
    }
    EXPECT_EQ(differing, 0) << "pixels differ within x " << where.left() << ".." << where.right()
                            << ", y " << where.top() << ".." << where.bottom();
    EXPECT_GT(insideButton, 0) << "the maximise button shows where it stands";
}

}  // namespace
}  // namespace pagelume::app
