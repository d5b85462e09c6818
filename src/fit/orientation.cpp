#include "fit/orientation.h"

#include <cstring>

namespace pagelume::fit {

int exifOrientation(const uint8_t* data, size_t size) {
    static const uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (!data || size < 6 + 8 || std::memcmp(data, kExif, 6) != 0)
        return 1;
    const uint8_t* tiff = data + 6;
    const size_t n = size - 6;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        little = false;
    else
        return 1;
    auto u16 = [&](size_t at) -> uint32_t {
        return little ? tiff[at] | (tiff[at + 1] << 8) : (tiff[at] << 8) | tiff[at + 1];
    };
    auto u32 = [&](size_t at) -> uint32_t {
        return little ? u16(at) | (u16(at + 2) << 16) : (u16(at) << 16) | u16(at + 2);
    };
    if (u16(2) != 42)
        return 1;
    const uint32_t ifd = u32(4);
    if (ifd > n || n - ifd < 2)
        return 1;
    const uint32_t entries = u16(ifd);
    for (uint32_t i = 0; i < entries; ++i) {
        const uint64_t at = uint64_t{ifd} + 2 + uint64_t{i} * 12;
        if (at + 12 > n)
            return 1;
        if (u16(at) != 0x0112)
            continue;
        // SHORT, one value, held in the entry itself.
        if (u16(at + 2) != 3 || u32(at + 4) != 1)
            return 1;
        const uint32_t value = u16(at + 8);
        return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
    }
    return 1;
}

Pixmap applyOrientation(const Pixmap& stored, int orientation) {
    if (orientation < 2 || orientation > 8)
        return stored;
    const int w = stored.width, h = stored.height, c = stored.channels;
    const bool swap = swapsSides(orientation);
    Pixmap out(swap ? h : w, swap ? w : h, c);
    // For each upright pixel (x, y), the stored pixel it shows.
    for (int y = 0; y < out.height; ++y) {
        uint8_t* dst = out.row(y);
        for (int x = 0; x < out.width; ++x) {
            int sx = x, sy = y;
            switch (orientation) {
                case 2:
                    sx = w - 1 - x;
                    break;
                case 3:
                    sx = w - 1 - x;
                    sy = h - 1 - y;
                    break;
                case 4:
                    sy = h - 1 - y;
                    break;
                case 5:
                    sx = y;
                    sy = x;
                    break;
                case 6:
                    sx = y;
                    sy = h - 1 - x;
                    break;
                case 7:
                    sx = w - 1 - y;
                    sy = h - 1 - x;
                    break;
                case 8:
                    sx = w - 1 - y;
                    sy = x;
                    break;
                default:
                    break;
            }
            std::memcpy(dst + static_cast<size_t>(x) * c,
                        stored.row(sy) + static_cast<size_t>(sx) * c, c);
        }
    }
    return out;
}

}  // namespace pagelume::fit
