// Pages reduced for thumbnails and previews, against the area average worked
// out pixel by pixel: every output pixel the mean of the source pixels whose
// columns and rows map to it, each flattened over white first.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/page_preview.h"
#include "png_builder.h"

using namespace pagelume::image;

namespace {

struct Rgba {
    uint8_t r, g, b, a;
};

uint32_t expectedPixel(const std::vector<Rgba>& src, int w, int h, Size out, int ox, int oy) {
    uint64_t sum[3] = {0, 0, 0}, n = 0;
    for (int y = 0; y < h; ++y) {
        if (int64_t{y} * out.height / h != oy)
            continue;
        for (int x = 0; x < w; ++x) {
            if (int64_t{x} * out.width / w != ox)
                continue;
            const Rgba p = src[static_cast<size_t>(y) * w + x];
            const uint8_t c[3] = {p.r, p.g, p.b};
            for (int k = 0; k < 3; ++k)
                sum[k] += (uint32_t{c[k]} * p.a + 255u * (255u - p.a) + 127u) / 255u;
            ++n;
        }
    }
    uint32_t v = 0xFF000000u;
    for (int k = 0; k < 3; ++k)
        v |= static_cast<uint32_t>((sum[k] + n / 2) / n) << (16 - 8 * k);
    return v;
}

TEST(PageReduction, EveryPixelIsTheAreaAverageOfWhatItCovers) {
    std::mt19937 rng(21);
    // Ratios that do not divide evenly, a single column, no reduction at all;
    // opaque, transparent and half-transparent pixels side by side.
    struct Case {
        int w, h, boxW, boxH;
    };
    for (const Case c : {Case{37, 23, 10, 10}, Case{300, 7, 1, 7}, Case{9, 40, 9, 3},
                         Case{13, 11, 13, 11}, Case{255, 3, 254, 3}}) {
        std::vector<Rgba> src(static_cast<size_t>(c.w) * c.h);
        for (Rgba& p : src) {
            const uint32_t v = rng();
            const uint8_t alpha[] = {255, 255, 255, 0, 128, static_cast<uint8_t>(v >> 24)};
            p = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                 alpha[rng() % 6]};
        }
        const std::string png = simplePng(c.w, c.h, 8, 6, [&](uint32_t x, uint32_t y) {
            const Rgba p = src[y * c.w + x];
            return PngBuilder::bytes({p.r, p.g, p.b, p.a});
        });
        const DrawSurface made = decodePage(png, c.boxW, c.boxH);
        const Size out = fitInside(c.w, c.h, c.boxW, c.boxH);
        ASSERT_EQ(made.width(), out.width);
        ASSERT_EQ(made.height(), out.height);
        for (int oy = 0; oy < out.height; ++oy)
            for (int ox = 0; ox < out.width; ++ox)
                ASSERT_EQ(made.scanLine(oy)[ox], expectedPixel(src, c.w, c.h, out, ox, oy))
                    << c.w << " x " << c.h << " into " << out.width << " x " << out.height
                    << ", pixel " << ox << ", " << oy;
    }
}

}  // namespace
