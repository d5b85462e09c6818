#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Row-level pieces of PNG decoding that know nothing about chunks or storage.
namespace pagelume::image::pngrows {

// Reverses a row filter in place. `row` holds `length` bytes after the filter
// type byte, `prior` the previous unfiltered row of the same pass (all zeros
// for a pass's first row), `bpp` the bytes per complete pixel (at least 1).
// Returns false for an unknown filter type, leaving the row as it came.
bool unfilterRow(uint8_t filterType, uint8_t* row, const uint8_t* prior, size_t length,
                 unsigned bpp);

// One pass of the image: its pixels are at (xStart + i * xStep,
// yStart + j * yStep) for i < width, j < height.
struct Pass {
    uint32_t xStart, yStart, xStep, yStep;
    uint32_t width, height;
};

// The passes of an image: one for a plain image, the seven of Adam7 for an
// interlaced one (empty passes have a zero width or height).
struct PassList {
    std::array<Pass, 7> passes;
    int count;
};
PassList passesFor(uint32_t width, uint32_t height, bool interlaced);

// Bytes of one filtered row of `width` pixels, without the filter type byte.
inline size_t rowBytes(uint32_t width, unsigned bitsPerPixel) {
    return (static_cast<size_t>(width) * bitsPerPixel + 7) / 8;
}

}  // namespace pagelume::image::pngrows
