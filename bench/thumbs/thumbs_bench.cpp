// thumbs_bench FOLDER...: opens the window with every page image of the
// folders as thumbnails (cold cache: point XDG_CACHE_HOME at an empty
// folder) and prints, in milliseconds:
//   added   until the pages are in the list (the folders read)
//   first   until every page of the first screen shows its picture
//   all     until every page has its picture
//   stall   the longest time the GUI thread was busy at once meanwhile
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>

#include "app/Unit1.h"
#include "app/desktop.h"
#include "ui/thumbnail_view.h"
#include "ui/thumbnailer.h"

namespace {

struct NoDesktop : pagelume::app::QtDesktop {
    void message(QWidget*, const QString&, const QString&) override {}
    void error(QWidget*, const QString& text, const QString&) override {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: thumbs_bench FOLDER...\n");
        return 2;
    }
    NoDesktop desktop;
    const QString exeDir = QCoreApplication::applicationDirPath();
    pagelume::app::TForm1 form(exeDir.toStdString(), desktop);
    form.setThumbnailView(true);
    form.resize(1280, 900);
    form.show();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();

    std::vector<std::string> folders;
    for (int i = 1; i < argc; ++i)
        folders.emplace_back(argv[i]);

    // The GUI thread's longest busy stretch: gaps between ticks of a timer
    // that wants to run every millisecond.
    QElapsedTimer clock;
    qint64 lastTick = 0, longest = 0, longestAt = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (now - lastTick > longest) {
            longest = now - lastTick;
            longestAt = now;
        }
        lastTick = now;
    });

    clock.start();
    form.addPages(0, folders, true);  // reading the folders is part of the wait
    const int n = form.ListView1->rowCount();
    const double addMs = clock.nsecsElapsed() / 1e6;
    lastTick = clock.nsecsElapsed();
    ticker.start();
    auto ready = [&](int first, int last) {
        for (int r = first; r <= last; ++r)
            if (!form.Thumbnailer1->find(form.ListView1->pages().at(r)))
                return false;
        return true;
    };
    // Checked at every tick, from inside the event loop: a loop of our own
    // around processEvents would keep the GUI thread busy and take the CPU
    // the workers need.
    double firstMs = -1, allMs = -1;
    QEventLoop loop;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto [a, b] = form.ThumbView1->visibleRows();
        if (firstMs < 0 && a >= 0 && ready(a, b))
            firstMs = clock.nsecsElapsed() / 1e6;
        if (firstMs >= 0 && form.Thumbnailer1->pending() == 0 && ready(0, n - 1)) {
            allMs = clock.nsecsElapsed() / 1e6;
            loop.quit();
        }
    });
    QTimer::singleShot(600000, &loop, [&] { loop.exit(1); });
    if (loop.exec() != 0) {
        std::fprintf(stderr, "gave up after 10 minutes\n");
        return 1;
    }
    ticker.stop();
    std::printf("pages %d added %.0f first %.0f all %.0f stall %.1f (ending at %.0f)\n", n, addMs,
                firstMs, allMs, longest / 1e6, longestAt / 1e6);
    return 0;
}
