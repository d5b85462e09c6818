#pragma once

#include <cstddef>
#include <cstdint>

#include "fit/pixels.h"

// The Exif orientation tag: how a camera or scanner's stored pixels must be
// turned to show the picture upright.
namespace pagelume::fit {

// The orientation (1-8) in the payload of a JPEG APP1 marker: "Exif\0\0",
// then a TIFF header and its first directory. 1 when the payload is not
// Exif, has no orientation tag, or is damaged in any way.
int exifOrientation(const uint8_t* data, size_t size);

// Orientations 5-8 swap width and height.
inline bool swapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// The pixmap turned upright for the orientation it was stored with.
Pixmap applyOrientation(const Pixmap& stored, int orientation);

}  // namespace pagelume::fit
