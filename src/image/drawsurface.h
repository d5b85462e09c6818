#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pagelume::image {

// A rectangle in surface coordinates; right and bottom are exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// A 32-bit pixel buffer that pictures draw into: 0xAARRGGBB per pixel, rows
// top-down, stride = width. The window wraps it in a QImage (RGB32 or
// ARGB32) without converting.
class DrawSurface {
public:
    DrawSurface() = default;
    // Negative sizes count as 0.
    DrawSurface(int width, int height, uint32_t fill = 0xFFFFFFFFu);

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ == 0 || height_ == 0; }

    uint32_t* scanLine(int y) { return pixels_.data() + static_cast<size_t>(y) * width_; }
    const uint32_t* scanLine(int y) const {
        return pixels_.data() + static_cast<size_t>(y) * width_;
    }
    uint32_t pixel(int x, int y) const { return scanLine(y)[x]; }
    void setPixel(int x, int y, uint32_t value) { scanLine(y)[x] = value; }

    const std::vector<uint32_t>& pixels() const { return pixels_; }
    std::vector<uint32_t>& pixels() { return pixels_; }

    void fill(uint32_t value);

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> pixels_;
};

}  // namespace pagelume::image
