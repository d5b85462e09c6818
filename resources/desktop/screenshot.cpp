// Draws the main window offscreen as it looks with a small book in it, for the
// screenshot that the desktop metadata points to:
//   cmake --build build --target pagelume_screenshot
//   HOME=/home/mara QT_QPA_PLATFORM=offscreen build/pagelume_screenshot
//       resources/desktop/screenshot.png /home/mara/Scans/Lighthouse     (one line)
// PAGES_DIR receives the sample pages, three JPEG scans and a comic archive of
// four more (made with Info-ZIP's zip); the page list shows their paths, so
// remove them afterwards. HOME gives the save folder shown. A third argument
// draws the other views: "thumbnails" (a larger window with the pages as
// thumbnails) or "maximized" (the window filling the screen, thumbnails in
// it; give the offscreen platform a screen of that size with configfile=),
// or "chapters" (the window at its size, two pages starting chapters).
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QThread>
#include <iostream>

#include "app/Unit1.h"
#include "app/desktop.h"
#include "ui/pagelist.h"
#include "ui/thumbnail_view.h"
#include "ui/thumbnailer.h"

namespace {

// A comic page: white paper, a few framed panels in the skin's colours.
QImage samplePage(int n) {
    QImage page(600, 840, QImage::Format_RGB32);
    page.fill(QColor("#fbfaf6"));
    QPainter p(&page);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor tones[] = {QColor("#8fa3f0"), QColor("#ffd24a"), QColor("#3ccf8e"),
                            QColor("#ff6b64"), QColor("#3a4679")};
    const int rows = 2 + n % 2;
    const int h = (840 - 40 - (rows - 1) * 20) / rows;
    for (int r = 0; r < rows; ++r) {
        const int cols = 1 + (n + r) % 2;
        const int w = (600 - 40 - (cols - 1) * 20) / cols;
        for (int c = 0; c < cols; ++c) {
            const QRect panel(20 + c * (w + 20), 20 + r * (h + 20), w, h);
            p.fillRect(panel, tones[(n + r * 2 + c) % 5].lighter(130));
            p.setPen(QPen(QColor("#27305a"), 6));
            p.drawRect(panel);
        }
    }
    return page;
}

struct QuietDesktop : pagelume::app::QtDesktop {
    void message(QWidget*, const QString&, const QString&) override {}
    void error(QWidget*, const QString& text, const QString&) override {
        std::cerr << text.toStdString() << "\n";
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: pagelume_screenshot OUT.png PAGES_DIR [thumbnails|maximized|chapters]\n";
        return 2;
    }
    QApplication app(argc, argv);
    QDir().mkpath(argv[2]);
    const QString dir = QDir(argv[2]).absolutePath();

    QuietDesktop desktop;
    pagelume::app::TForm1 form(pagelume::app::ProgramPaths(QDir::tempPath().toStdString()),
                               desktop);
    QStringList members;
    for (int n = 1; n <= 7; ++n) {
        const QString name = QString("lighthouse-%1.jpg").arg(n, 2, 10, QChar('0'));
        if (!samplePage(n).save(dir + "/" + name, "JPEG", 90)) {
            std::cerr << "cannot write " << name.toStdString() << "\n";
            return 1;
        }
        if (n > 3)
            members << name;
    }
    const QString archive = dir + "/lighthouse-part-2.cbz";
    QFile::remove(archive);
    if (QProcess::execute("zip", QStringList{"-q", "-j", archive} + [&] {
            QStringList paths;
            for (const QString& m : members)
                paths << dir + "/" + m;
            return paths;
        }()) != 0) {
        std::cerr << "zip failed\n";
        return 1;
    }
    QStringList pages;
    for (int n = 1; n <= 3; ++n)
        pages << dir + QString("/lighthouse-%1.jpg").arg(n, 2, 10, QChar('0'));
    pages << archive;
    form.Edit1->setText("The Lighthouse Keeper");
    form.Edit2->setText("Mara Lind");
    form.addPages(0, [&] {
        std::vector<std::string> paths;
        for (const QString& p : pages)
            paths.push_back(QFile::encodeName(p).toStdString());
        return paths;
    }(), false);
    for (const QString& m : members)
        QFile::remove(dir + "/" + m);
    form.LabeledEdit3->setText(dir + "/lighthouse-01.jpg");
    form.LabeledEdit4->setText(QDir::homePath() + "/Books");
    QString view = argc == 4 ? argv[3] : "";
    if (view == "chapters") {
        form.ListView1->pageModel().setChapter(0, "Arrival");
        form.ListView1->pageModel().setChapter(3, "The Storm");
        view.clear();
    }
    if (!view.isEmpty()) {
        form.setThumbnailView(true);
        if (view == "maximized")
            form.showMaximized();
        else
            form.resize(1000, 720);
    }
    form.show();
    form.ListView1->setRowSelected(4, true);
    form.ListView1Click();
    app.processEvents();
    if (!view.isEmpty()) {
        // Until every page shows its picture.
        auto allShown = [&] {
            for (const auto& page : form.ListView1->pages().pages())
                if (!form.Thumbnailer1->find(page))
                    return false;
            return true;
        };
        for (int i = 0; i < 1000 && !allShown(); ++i) {
            QApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(10);
        }
        for (int i = 0; i < 50; ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    // Outside the window's rounded outline the picture stays transparent.
    // At the screen's own resolution (QT_SCALE_FACTOR) when it is not 1.
    const QPixmap grabbed = form.grab();
    QImage shot(grabbed.size(), QImage::Format_ARGB32);
    shot.setDevicePixelRatio(grabbed.devicePixelRatio());
    shot.fill(Qt::transparent);
    {
        QPainter p(&shot);
        if (!form.mask().isEmpty())
            p.setClipRegion(form.mask());
        p.drawPixmap(0, 0, grabbed);
    }
    if (!shot.save(argv[1])) {
        std::cerr << "cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
