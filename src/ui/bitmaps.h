#pragma once

#include <cstddef>

#include "image/drawsurface.h"

// Decoders for the window's own skin pictures.
namespace pagelume::ui {

// A baseline or progressive JPEG, through libjpeg. Throws pagelume::Exception
// with libjpeg's message when the data is not a JPEG it can read.
image::DrawSurface decodeJpeg(const unsigned char* data, std::size_t size);

// An uncompressed 24- or 32-bit Windows bitmap (BMP). Throws on anything else.
image::DrawSurface decodeBmp(const unsigned char* data, std::size_t size);

}  // namespace pagelume::ui
