#include "fit/pixels.h"

#include <cstring>

namespace pagelume::fit {

void PixmapSource::readRow(uint8_t* out) {
    if (next_ >= p_.height)
        throw EFitError("Read past the last row of a page");
    std::memcpy(out, p_.row(next_++), p_.rowBytes());
}

Pixmap readAll(RowSource& source, StopFlag stop) {
    const uint64_t pixels = uint64_t(source.width()) * uint64_t(source.height());
    if (pixels > kMaxPagePixels)
        throw EFitError("The page is too large");
    Pixmap p(source.width(), source.height(), source.channels());
    for (int y = 0; y < p.height; ++y) {
        checkStop(stop);
        source.readRow(p.row(y));
    }
    return p;
}

void rgbToGrey(const uint8_t* rgb, uint8_t* grey, size_t n) {
    for (size_t i = 0; i < n; ++i, rgb += 3)
        grey[i] = greyOf(rgb[0], rgb[1], rgb[2]);
}

}  // namespace pagelume::fit
