// thumbs_bench FOLDER...: opens the window with every page image of the
// folders as thumbnails (cold cache: point XDG_CACHE_HOME at an empty
// folder) and prints, in milliseconds:
//   added   until the pages are in the list (the folders read)
//   first   until every page of the first screen shows its picture
//   all     until every page has its picture
//   stall   the longest time the GUI thread did not come round meanwhile
//           (busy, or waiting for a core), with the CPU time it used then
//   busiest the most CPU time the GUI thread used at once meanwhile
// and the CPU time the process spent until the first screen and until all.
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
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

// CPU time of every thread of the process: what the wait would be on free
// cores, however busy the machine is.
double cpuMs(clockid_t which) {
    timespec t{};
    clock_gettime(which, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
double processCpuMs() {
    return cpuMs(CLOCK_PROCESS_CPUTIME_ID);
}
// The calling thread's: the GUI thread's when called from its timer.
double threadCpuMs() {
    return cpuMs(CLOCK_THREAD_CPUTIME_ID);
}

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

    // The GUI thread's longest stall: gaps between ticks of a timer that
    // wants to run every millisecond. A gap is the GUI thread busy or waiting
    // for a core; the CPU time it used within each gap tells the two apart.
    QElapsedTimer clock;
    qint64 lastTick = 0, longest = 0, longestAt = 0;
    double lastCpu = 0, longestCpu = 0, busiest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const double cpu = threadCpuMs();
        if (now - lastTick > longest) {
            longest = now - lastTick;
            longestAt = now;
            longestCpu = cpu - lastCpu;
        }
        busiest = std::max(busiest, cpu - lastCpu);
        lastTick = now;
        lastCpu = cpu;
    });

    clock.start();
    const double cpuStart = processCpuMs();
    form.addPages(0, folders, true);  // reading the folders is part of the wait
    const int n = form.ListView1->rowCount();
    const double addMs = clock.nsecsElapsed() / 1e6;
    lastTick = clock.nsecsElapsed();
    lastCpu = threadCpuMs();
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
    double firstMs = -1, allMs = -1, firstCpuMs = -1, allCpuMs = -1;
    QEventLoop loop;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto [a, b] = form.ThumbView1->visibleRows();
        if (firstMs < 0 && a >= 0 && ready(a, b)) {
            firstMs = clock.nsecsElapsed() / 1e6;
            firstCpuMs = processCpuMs() - cpuStart;
        }
        if (firstMs >= 0 && form.Thumbnailer1->pending() == 0 && ready(0, n - 1)) {
            allMs = clock.nsecsElapsed() / 1e6;
            allCpuMs = processCpuMs() - cpuStart;
            loop.quit();
        }
    });
    QTimer::singleShot(600000, &loop, [&] { loop.exit(1); });
    if (loop.exec() != 0) {
        std::fprintf(stderr, "gave up after 10 minutes\n");
        return 1;
    }
    ticker.stop();
    std::printf(
        "pages %d added %.0f first %.0f all %.0f stall %.1f (ending at %.0f, GUI busy %.1f of it) "
        "busiest %.1f cancelled %d cpu: first %.0f all %.0f\n",
        n, addMs, firstMs, allMs, longest / 1e6, longestAt / 1e6, longestCpu, busiest,
        form.Thumbnailer1->cancelledCount(), firstCpuMs, allCpuMs);
    return 0;
}
