// Decoding large images: rows are inflated many at a time and unfiltered in
// place, so every filter must see the right prior row across those batches,
// across IDAT chunk boundaries and across the passes of Adam7.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "image/pngimage.h"
#include "png_builder.h"

using namespace pagelume::image;
using B = PngBuilder;

namespace {

// One pixel's bytes as a function of its position (and the image's size).
using Samples = std::vector<uint8_t>;

uint8_t predict(int type, int a, int b, int c) {
    switch (type) {
        case 1:
            return static_cast<uint8_t>(a);
        case 2:
            return static_cast<uint8_t>(b);
        case 3:
            return static_cast<uint8_t>((a + b) / 2);
        case 4: {
            int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
        }
        default:
            return 0;
    }
}

// Filters the rows of one pass (row y uses filter type (y + salt) % 5).
std::string filterRows(const std::vector<Samples>& rows, unsigned bpp, unsigned salt) {
    std::string out;
    Samples prior(rows.empty() ? 0 : rows[0].size(), 0);
    for (size_t y = 0; y < rows.size(); ++y) {
        const int type = static_cast<int>((y + salt) % 5);
        out += static_cast<char>(type);
        const Samples& row = rows[y];
        for (size_t i = 0; i < row.size(); ++i) {
            int a = i >= bpp ? row[i - bpp] : 0, b = prior[i], c = i >= bpp ? prior[i - bpp] : 0;
            out += static_cast<char>(row[i] - predict(type, a, b, c));
        }
        prior = row;
    }
    return out;
}

uint8_t sampleAt(uint32_t x, uint32_t y, int c);

constexpr int kAdam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                              {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

// An 8-bit image of `channels` samples per pixel with noisy, every-filter
// rows, its IDAT data cut into chunks of awkward sizes.
std::string bigImage(uint32_t w, uint32_t h, int colorType, int channels, bool adam7,
                     const std::vector<std::pair<std::string, std::string>>& before = {}) {
    std::string filtered;
    for (int p = 0; p < (adam7 ? 7 : 1); ++p) {
        const int x0 = adam7 ? kAdam7[p][0] : 0, y0 = adam7 ? kAdam7[p][1] : 0;
        const int dx = adam7 ? kAdam7[p][2] : 1, dy = adam7 ? kAdam7[p][3] : 1;
        std::vector<Samples> rows;
        for (uint32_t y = y0; y < h; y += dy) {
            Samples row;
            for (uint32_t x = x0; x < w; x += dx)
                for (int c = 0; c < channels; ++c)
                    row.push_back(sampleAt(x, y, c));
            if (!row.empty())
                rows.push_back(row);
        }
        filtered += filterRows(rows, channels, p);
    }
    const std::string z = B::deflate(filtered);
    B b;
    b.ihdr(w, h, 8, colorType, adam7 ? 1 : 0);
    for (const auto& [type, data] : before)
        b.chunk(type, data);
    std::mt19937 rng(w + h);
    for (size_t pos = 0; pos < z.size();) {
        const size_t sizes[] = {1, 7, 4093, 65536, 70001};
        const size_t n = std::min(z.size() - pos, sizes[rng() % 5]);
        b.idat(z.substr(pos, n));
        pos += n;
    }
    return b.iend().str();
}

uint8_t sampleAt(uint32_t x, uint32_t y, int c) {
    return static_cast<uint8_t>((x * 7 + y * 13 + c * 51) ^ ((x * y) >> 3));
}

// Colour samples go through the gamma table; grey ones then through the
// grey ramp of the colour table.
uint32_t expectedPixel(const TPNGObject& png, uint32_t x, uint32_t y, int channels) {
    const auto& g = png.GammaTable;
    const auto& table = png.Header().ColorTable;
    auto colour = [&](int c) { return uint32_t{g[sampleAt(x, y, c)]}; };
    switch (channels) {
        case 1:
            return 0xFF000000u | table[colour(0)];
        case 2:
            return (uint32_t{sampleAt(x, y, 1)} << 24) | table[colour(0)];
        case 3:
            return 0xFF000000u | (colour(0) << 16) | (colour(1) << 8) | colour(2);
        default:
            return (uint32_t{sampleAt(x, y, 3)} << 24) | (colour(0) << 16) | (colour(1) << 8) |
                   colour(2);
    }
}

struct TypeCase {
    int colorType, channels;
};

// Rows of 1 to 4 samples, wide enough that one batch of rows never ends on
// a row boundary, plain and interlaced; with no gAMA, a gAMA that changes
// nothing and one that does.
TEST(Decoding, LargeImagesDecodeEveryRowAcrossBatchesChunksAndPasses) {
    const std::string gammaOne = B::bytes({0, 0, 0xB1, 0x8F});     // 45455: the identity
    const std::string gammaBright = B::bytes({0, 1, 0x86, 0xA0});  // 100000
    for (TypeCase t : {TypeCase{0, 1}, TypeCase{4, 2}, TypeCase{2, 3}, TypeCase{6, 4}}) {
        for (bool adam7 : {false, true}) {
            for (const std::string* gama :
                 {static_cast<const std::string*>(nullptr), &gammaOne, &gammaBright}) {
                const uint32_t w = 1237, h = 131;
                std::vector<std::pair<std::string, std::string>> before;
                if (gama)
                    before.push_back({"gAMA", *gama});
                const std::string file = bigImage(w, h, t.colorType, t.channels, adam7, before);
                SCOPED_TRACE("colour type " + std::to_string(t.colorType) +
                             (adam7 ? ", Adam7" : "") + (gama ? ", gAMA" : ""));
                TPNGObject png;
                png.LoadFromMemory(file.data(), file.size());
                EXPECT_EQ(png.GammaTable[128], gama == &gammaBright ? 186 : 128);
                const std::vector<uint32_t> pixels = png.ToARGB().pixels;
                for (uint32_t y = 0; y < h; ++y)
                    for (uint32_t x = 0; x < w; ++x)
                        ASSERT_EQ(pixels[size_t{y} * w + x], expectedPixel(png, x, y, t.channels))
                            << x << "," << y;
            }
        }
    }
}

// A stream that stops early leaves the rest zero; a damaged one fails with
// zlib's error even when the damage comes many rows into a batch.
TEST(Decoding, ShortAndDamagedStreamsOfLargeImages) {
    const uint32_t w = 900, h = 200;
    std::string rows = B::rows(w, h, [](uint32_t x, uint32_t y) {
        return B::bytes({static_cast<int>(x & 0xFF), static_cast<int>(y), 7});
    });
    std::string half = B::deflate(rows.substr(0, rows.size() / 2));
    TPNGObject png;
    std::string file = B().ihdr(w, h, 8, 2).idat(half).iend().str();
    png.LoadFromMemory(file.data(), file.size());
    const uint32_t lastFull = h / 2 - 1;
    EXPECT_EQ(png.Header().PixelColor(5, lastFull), (5u << 16) | (lastFull << 8) | 7u);
    EXPECT_EQ(png.Header().PixelColor(5, h - 1), 0u);

    // Stored (uncompressed) blocks let the damage be put at a known place:
    // a block type of 3 does not exist.
    std::string stored = "\x78\x01";
    const size_t cut = rows.size() / 3;
    auto storedBlock = [](const std::string& data) {
        std::string s = B::bytes({0});  // not final, stored
        s += static_cast<char>(data.size() & 0xFF);
        s += static_cast<char>(data.size() >> 8);
        s += static_cast<char>(~data.size() & 0xFF);
        s += static_cast<char>((~data.size() >> 8) & 0xFF);
        return s + data;
    };
    for (size_t pos = 0; pos < cut; pos += 60000)
        stored += storedBlock(rows.substr(pos, std::min<size_t>(60000, cut - pos)));
    stored += B::bytes({0x07});  // final block of type 3
    file = B().ihdr(w, h, 8, 2).idat(stored).iend().str();
    try {
        png.LoadFromMemory(file.data(), file.size());
        FAIL() << "no exception";
    } catch (const EPNGZLIBError& e) {
        EXPECT_NE(std::string(e.what()).find("data error (-3)"), std::string::npos);
    }
    // The rows before the damage were decoded.
    EXPECT_EQ(png.Header().PixelColor(3, 10), (3u << 16) | (10u << 8) | 7u);
}

}  // namespace
