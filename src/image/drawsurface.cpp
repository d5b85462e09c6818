#include "image/drawsurface.h"

#include <algorithm>

namespace pagelume::image {

DrawSurface::DrawSurface(int width, int height, uint32_t fill)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {
    if (width_ == 0 || height_ == 0)
        width_ = height_ = 0;
    pixels_.assign(static_cast<size_t>(width_) * height_, fill);
}

void DrawSurface::fill(uint32_t value) {
    std::fill(pixels_.begin(), pixels_.end(), value);
}

}  // namespace pagelume::image
