// The row kernels against a plain reading of the PNG filter definitions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <vector>

#include "image/pngrows.h"

using namespace pagelume::image::pngrows;

namespace {

std::vector<uint8_t> reference(int type, const std::vector<uint8_t>& raw,
                               const std::vector<uint8_t>& prior, unsigned bpp) {
    std::vector<uint8_t> out(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        int a = i >= bpp ? out[i - bpp] : 0, b = prior[i], c = i >= bpp ? prior[i - bpp] : 0;
        int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        int paeth = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        int predicted[] = {0, a, b, (a + b) / 2, paeth};
        out[i] = static_cast<uint8_t>(raw[i] + predicted[type]);
    }
    return out;
}

TEST(Unfilter, MatchesTheDefinitionForEveryTypeAndPixelSize) {
    std::mt19937 rng(5);
    for (unsigned bpp : {1u, 2u, 3u, 4u, 6u, 8u}) {
        for (size_t pixels : {1u, 2u, 7u, 64u}) {
            for (int type = 0; type <= 4; ++type) {
                // Extremes make ties and wrap-around likely.
                auto value = [&] {
                    return static_cast<uint8_t>(rng() % 3 ? rng() : (rng() % 2) * 255);
                };
                std::vector<uint8_t> raw(bpp * pixels), prior(bpp * pixels);
                for (auto& v : raw)
                    v = value();
                for (auto& v : prior)
                    v = value();
                std::vector<uint8_t> row = raw;
                ASSERT_TRUE(unfilterRow(static_cast<uint8_t>(type), row.data(), prior.data(),
                                        row.size(), bpp));
                ASSERT_EQ(row, reference(type, raw, prior, bpp))
                    << "type " << type << ", bpp " << bpp << ", " << pixels << " pixels";
            }
        }
    }
    std::vector<uint8_t> row = {1, 2, 3}, prior(3);
    EXPECT_FALSE(unfilterRow(5, row.data(), prior.data(), 3, 1));
    EXPECT_EQ(row, std::vector<uint8_t>({1, 2, 3}));
}

TEST(Adam7, PassesCoverEveryPixelOnce) {
    for (uint32_t w = 1; w <= 17; ++w) {
        for (uint32_t h = 1; h <= 17; ++h) {
            std::multiset<uint32_t> seen;
            PassList list = passesFor(w, h, true);
            ASSERT_EQ(list.count, 7);
            for (int p = 0; p < list.count; ++p) {
                const Pass& pass = list.passes[p];
                for (uint32_t j = 0; j < pass.height; ++j)
                    for (uint32_t i = 0; i < pass.width; ++i)
                        seen.insert((pass.yStart + j * pass.yStep) * w + pass.xStart +
                                    i * pass.xStep);
            }
            ASSERT_EQ(seen.size(), size_t{w} * h) << w << "x" << h;
            ASSERT_EQ(std::set<uint32_t>(seen.begin(), seen.end()).size(), seen.size());
            ASSERT_LT(*seen.rbegin(), w * h);
        }
    }
}

}  // namespace
