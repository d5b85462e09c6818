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

// Where the fitted rows go: a JPEG encoder, or a pixmap.
class RowTarget {
public:
    virtual ~RowTarget() = default;
    virtual void begin(int width, int height, int channels) = 0;
    virtual void writeRow(const uint8_t* row) = 0;
};

class JpegTarget final : public RowTarget {
public:
    JpegTarget(int quality, std::vector<uint8_t>& out) : quality_(quality), out_(out) {}
    void begin(int width, int height, int channels) override {
        encoder_ = std::make_unique<JpegEncoder>(width, height, channels, quality_);
    }
    void writeRow(const uint8_t* row) override { encoder_->writeRow(row); }
    void end() { out_ = encoder_->finish(); }

private:
    int quality_;
    std::vector<uint8_t>& out_;
    std::unique_ptr<JpegEncoder> encoder_;
};

class PixmapTarget final : public RowTarget {
public:
    explicit PixmapTarget(Pixmap& out) : out_(out) {}
    void begin(int width, int height, int channels) override {
        out_ = Pixmap(width, height, channels);
    }
    void writeRow(const uint8_t* row) override {
        std::memcpy(out_.row(next_++), row, out_.rowBytes());
    }

private:
    Pixmap& out_;
    int next_ = 0;
};

FitResult fit(const std::string& sourcePath, const FitOptions& options, RowTarget& target,
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
    const int minW = options.shrinkOnLoad ? (swap ? out.height : out.width) : h.width;
    const int minH = options.shrinkOnLoad ? (swap ? out.width : out.height) : h.height;
    RowSource& stored = reader->start(minW, minH, options.grey);
    Pixmap upright;
    std::unique_ptr<PixmapSource> turned;
    RowSource* rows = &stored;
    if (h.orientation != 1) {
        upright = applyOrientation(readAll(stored, stop), h.orientation);
        turned = std::make_unique<PixmapSource>(upright);
        rows = turned.get();
    }
    target.begin(out.width, out.height, rows->channels());
    resample(
        *rows, out.width, out.height, [&](const uint8_t* row) { target.writeRow(row); }, stop);
    FitResult r;
    r.status = FitStatus::Written;
    r.width = out.width;
    r.height = out.height;
    return r;
}

// Runs a fit; every failure becomes a result.
template <class Run>
FitResult guardedFit(Run&& run) {
    try {
        return run();
    } catch (const EFitStopped&) {
        FitResult r;
        r.status = FitStatus::Stopped;
        r.reason = "Fitting stopped";
        return r;
    } catch (const std::bad_alloc&) {
        return failed("Not enough memory to fit the page");
    } catch (const std::exception& e) {
        return failed(e.what());
    }
}

}  // namespace

FitResult fitPageToMemory(const std::string& sourcePath, const FitOptions& options,
                          std::vector<uint8_t>& jpeg, StopFlag stop) {
    jpeg.clear();
    FitResult r = guardedFit([&] {
        JpegTarget target(options.quality, jpeg);
        FitResult written = fit(sourcePath, options, target, stop);
        if (written.status == FitStatus::Written)
            target.end();
        return written;
    });
    if (r.status != FitStatus::Written)
        jpeg.clear();
    return r;
}

FitResult fitPageToPixmap(const std::string& sourcePath, const FitOptions& options, Pixmap& pixels,
                          StopFlag stop) {
    pixels = Pixmap();
    FitResult r = guardedFit([&] {
        PixmapTarget target(pixels);
        return fit(sourcePath, options, target, stop);
    });
    if (r.status != FitStatus::Written)
        pixels = Pixmap();
    return r;
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
