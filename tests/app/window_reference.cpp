// Draws the window at its normal size, offscreen, as the pixel test of
// test_window_pixels.cpp draws it, and writes the picture as a PNG:
//   cmake --build build --target window_reference
//   QT_QPA_PLATFORM=offscreen build/tests/app/window_reference OUT.png
// tests/app/data/window_719x512.png was drawn by this program built on the
// window as it was before it could grow (the first parent of the merge of
// the thumbnail view), with the one later change meant to show at this size
// applied: the Greyscale check box drawn plainly on the light pane (commit
// "Greyscale is a plain check box on the light pane"). Building it on
// today's tree shows what changed since.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <iostream>

#include "app/Unit1.h"
#include "app/desktop.h"
#include "ui/pagelist.h"
#include "window_scene.h"

namespace {

struct QuietDesktop : pagelume::app::QtDesktop {
    void message(QWidget*, const QString&, const QString&) override {}
    void error(QWidget*, const QString&, const QString&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: window_reference OUT.png\n";
        return 2;
    }
    QApplication app(argc, argv);
    QTemporaryDir exe;
    QuietDesktop desktop;
    pagelume::app::TForm1 form(QFile::encodeName(exe.path()).toStdString(), desktop);
    const QImage shot = pagelume::test::drawWindowScene(form);
    if (!shot.save(argv[1], "PNG")) {
        std::cerr << "cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
