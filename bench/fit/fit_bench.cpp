// fit_bench --box WxH [--quality N] [--grey] [--threads N] [--no-shrink-on-load]
//           [--pixels] --out DIR PAGE...
// Fits every page with FitPool and writes DIR/<page name>.jpg; prints how
// many were written, unchanged or failed. Without --threads it takes
// PAGELUME_THREADS or one worker per core, as the program does. --pixels
// writes the fitted pixels before encoding instead, as DIR/<page name>.ppm
// (or .pgm), one page after the other.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fit/devices.h"
#include "fit/fit_pool.h"

using namespace pagelume::fit;

namespace {

int writePixels(const std::vector<std::string>& pages, const FitOptions& options,
                const std::string& out) {
    int failed = 0;
    for (const std::string& p : pages) {
        Pixmap pixels;
        const FitResult r = fitPageToPixmap(p, options, pixels);
        if (r.status != FitStatus::Written) {
            std::fprintf(stderr, "%s: not fitted: %s\n", p.c_str(), r.reason.c_str());
            ++failed;
            continue;
        }
        const bool grey = pixels.channels == 1;
        const std::string path =
            out + "/" + std::filesystem::path(p).stem().string() + (grey ? ".pgm" : ".ppm");
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f)
            return 1;
        std::fprintf(f, "P%c\n%d %d\n255\n", grey ? '5' : '6', pixels.width, pixels.height);
        std::fwrite(pixels.data.data(), 1, pixels.data.size(), f);
        std::fclose(f);
    }
    return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    FitOptions options;
    int threads = defaultFitThreads();
    std::string out;
    std::vector<std::string> pages;
    bool pixels = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--box" && hasValue) {
            std::string error;
            const auto box = parseFitBox(argv[++i], &error);
            if (!box) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 2;
            }
            options.boxWidth = box->width;
            options.boxHeight = box->height;
        } else if (a == "--quality" && hasValue) {
            const auto q = parseQuality(argv[++i]);
            if (!q)
                return 2;
            options.quality = *q;
        } else if (a == "--threads" && hasValue) {
            threads = fitThreads(argv[++i], 1);
        } else if (a == "--out" && hasValue) {
            out = argv[++i];
        } else if (a == "--grey") {
            options.grey = true;
        } else if (a == "--no-shrink-on-load") {
            options.shrinkOnLoad = false;
        } else if (a == "--pixels") {
            pixels = true;
        } else {
            pages.push_back(a);
        }
    }
    if (out.empty() || options.boxWidth == 0 || pages.empty()) {
        std::fprintf(stderr,
                     "usage: fit_bench --box WxH [--quality N] [--grey] [--threads N] "
                     "--out DIR PAGE...\n");
        return 2;
    }
    if (pixels)
        return writePixels(pages, options, out);
    std::vector<FitJob> jobs;
    for (const std::string& p : pages)
        jobs.push_back({p, out + "/" + std::filesystem::path(p).stem().string() + ".jpg"});
    FitPool pool(std::move(jobs), options, threads);
    int written = 0, unchanged = 0, failed = 0;
    while (auto r = pool.next()) {
        if (r->status == FitStatus::Written)
            ++written;
        else if (r->status == FitStatus::Unchanged)
            ++unchanged;
        else {
            ++failed;
            std::fprintf(stderr, "%s\n", r->reason.c_str());
        }
    }
    std::printf("%d written, %d unchanged, %d failed on %d threads\n", written, unchanged, failed,
                threads);
    return failed ? 1 : 0;
}
