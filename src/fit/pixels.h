#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/exception.h"

// What the steps of fitting a page hand each other: rows of 8-bit samples,
// grey (1 channel) or red, green, blue (3 channels), already flattened over
// white.
namespace pagelume::fit {

// A page that cannot be fitted: unreadable, damaged, too large, of no format
// we decode.
PAGELUME_DEFINE_EXCEPTION(EFitError, Exception);
// Fitting was asked to stop.
PAGELUME_DEFINE_EXCEPTION(EFitStopped, Exception);

// Pages larger than this many pixels are refused before their pixels are
// allocated: a damaged or hostile header cannot make us ask for gigabytes.
inline constexpr uint64_t kMaxPagePixels = uint64_t{1} << 27;

// Where a long step looks to see whether it should stop; nullptr never stops.
using StopFlag = const std::atomic<bool>*;
inline void checkStop(StopFlag stop) {
    if (stop && stop->load(std::memory_order_relaxed))
        throw EFitStopped("Fitting stopped");
}

// A whole page in memory, rows top-down without padding.
struct Pixmap {
    int width = 0;
    int height = 0;
    int channels = 3;
    std::vector<uint8_t> data;

    Pixmap() = default;
    Pixmap(int w, int h, int c)
        : width(w), height(h), channels(c), data(static_cast<size_t>(w) * h * c) {}
    size_t rowBytes() const { return static_cast<size_t>(width) * channels; }
    uint8_t* row(int y) { return data.data() + rowBytes() * y; }
    const uint8_t* row(int y) const { return data.data() + rowBytes() * y; }
};

// Rows of a page, read once from top to bottom.
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual int channels() const = 0;
    // The next row: width() * channels() bytes.
    virtual void readRow(uint8_t* out) = 0;
};

// The rows of a pixmap.
class PixmapSource : public RowSource {
public:
    explicit PixmapSource(const Pixmap& p) : p_(p) {}
    int width() const override { return p_.width; }
    int height() const override { return p_.height; }
    int channels() const override { return p_.channels; }
    void readRow(uint8_t* out) override;

private:
    const Pixmap& p_;
    int next_ = 0;
};

// Reads every row of a source into memory (EFitError past kMaxPagePixels).
Pixmap readAll(RowSource& source, StopFlag stop);

// ITU-R BT.601 luma, rounded to nearest.
inline uint8_t greyOf(unsigned r, unsigned g, unsigned b) {
    return static_cast<uint8_t>((299 * r + 587 * g + 114 * b + 500) / 1000);
}
// One channel of a pixel with alpha over white, rounded as the preview draws it.
inline uint8_t overWhite(unsigned c, unsigned a) {
    return static_cast<uint8_t>((c * a + (255 - a) * 255 + 255) >> 8);
}
void rgbToGrey(const uint8_t* rgb, uint8_t* grey, size_t n);

}  // namespace pagelume::fit
