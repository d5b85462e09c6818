// one_page FILE [REPEAT]: the time one page's thumbnail takes on one core,
// as the thumbnail workers make it (decoded and reduced to 256 pixels), the
// best of REPEAT runs (default 5), in milliseconds of the thread's own CPU
// time (steadier than the clock on a shared machine) and of the clock.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "image/page_preview.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: one_page FILE [REPEAT]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int repeat = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const auto cpuMs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
    };
    double best = 1e9, bestCpu = 1e9;
    int w = 0, h = 0;
    for (int i = 0; i < repeat; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = cpuMs();
        const auto s = pagelume::image::decodePage(bytes, 256, 256);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
        bestCpu = std::min(bestCpu, cpuMs() - cpuStart);
        w = s.width();
        h = s.height();
    }
    std::printf("%s: %d x %d, cpu %.1f ms, clock %.1f ms (best of %d)\n", argv[1], w, h, bestCpu,
                best, repeat);
    return 0;
}
