#include "fit/fit_page.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "fit/decode.h"
#include "fit/encode.h"
#include "fit/orientation.h"
#include "fit/resample.h"

namespace pagelume::fit {

Size fittedSize(int width, int height, int boxWidth, int boxHeight) {
    if (width <= boxWidth && height <= boxHeight)
        return {width, height};
    const uint64_t w = width, h = height, bw = boxWidth, bh = boxHeight;
    if (bw * h <= bh * w) {  // the width meets the box
        const uint64_t out = (2 * h * bw + w) / (2 * w);
        return {boxWidth, static_cast<int>(std::clamp<uint64_t>(out, 1, bh))};
    }
    const uint64_t out = (2 * w * bh + h) / (2 * h);
    return {static_cast<int>(std::clamp<uint64_t>(out, 1, bw)), boxHeight};
}

namespace {

FitResult failed(const std::string& reason) {
    FitResult r;
    r.status = FitStatus::Failed;
    r.reason = reason;
    return r;
}

FitResult fit(const std::string& sourcePath, const FitOptions& options, std::vector<uint8_t>& jpeg,
              StopFlag stop) {
    if (options.boxWidth < 1 || options.boxHeight < 1 || options.quality < 1 ||
        options.quality > 100)
        return failed("Invalid fitting options");
    const std::unique_ptr<PageReader> reader = openPage(sourcePath, stop);
    const PageHeader& h = reader->header();
    const bool swap = swapsSides(h.orientation);
    const int uprightW = swap ? h.height : h.width, uprightH = swap ? h.width : h.height;
    const Size out = fittedSize(uprightW, uprightH, options.boxWidth, options.boxHeight);
    if (out == Size{uprightW, uprightH} && !options.grey) {
        FitResult r;
        r.status = FitStatus::Unchanged;
        r.width = h.width;
        r.height = h.height;
        return r;
    }
    // The decoder works in the stored orientation.
    RowSource& stored = reader->start(swap ? out.height : out.width,
                                      swap ? out.width : out.height, options.grey);
    Pixmap upright;
    std::unique_ptr<PixmapSource> turned;
    RowSource* rows = &stored;
    if (h.orientation != 1) {
        upright = applyOrientation(readAll(stored, stop), h.orientation);
        turned = std::make_unique<PixmapSource>(upright);
        rows = turned.get();
    }
    JpegEncoder encoder(out.width, out.height, rows->channels(), options.quality);
    resample(*rows, out.width, out.height, [&](const uint8_t* row) { encoder.writeRow(row); },
             stop);
    jpeg = encoder.finish();
    FitResult r;
    r.status = FitStatus::Written;
    r.width = out.width;
    r.height = out.height;
    return r;
}

}  // namespace

FitResult fitPageToMemory(const std::string& sourcePath, const FitOptions& options,
                          std::vector<uint8_t>& jpeg, StopFlag stop) {
    jpeg.clear();
    try {
        return fit(sourcePath, options, jpeg, stop);
    } catch (const EFitStopped&) {
        jpeg.clear();
        FitResult r;
        r.status = FitStatus::Stopped;
        r.reason = "Fitting stopped";
        return r;
    } catch (const std::bad_alloc&) {
        jpeg.clear();
        return failed("Not enough memory to fit the page");
    } catch (const std::exception& e) {
        jpeg.clear();
        return failed(e.what());
    }
}

FitResult fitPage(const std::string& sourcePath, const std::string& outPath,
                  const FitOptions& options, StopFlag stop) {
    std::vector<uint8_t> jpeg;
    FitResult r = fitPageToMemory(sourcePath, options, jpeg, stop);
    if (r.status != FitStatus::Written)
        return r;
    std::FILE* f = std::fopen(outPath.c_str(), "wb");
    if (!f)
        return failed("Cannot create file \"" + outPath + "\". " + std::strerror(errno));
    const bool written = std::fwrite(jpeg.data(), 1, jpeg.size(), f) == jpeg.size();
    const int err = errno;
    if (std::fclose(f) != 0 || !written) {
        std::remove(outPath.c_str());
        return failed("Cannot write file \"" + outPath + "\". " + std::strerror(err));
    }
    return r;
}

}  // namespace pagelume::fit
