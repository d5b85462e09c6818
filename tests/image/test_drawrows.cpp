// The vector row kernels against the plain ones, kernel by kernel and through
// whole drawings of the corpus and of random images: every pixel must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <vector>

#include "image/drawrows.h"
#include "image/pngimage.h"
#include "png_builder.h"

using namespace pagelume::image;
using drawrows::KernelSet;
using drawrows::RowKernels;
namespace fs = std::filesystem;

namespace {

const RowKernels& plain() {
    return drawrows::Kernels(KernelSet::Plain);
}
const RowKernels& vec() {
    return drawrows::Kernels(KernelSet::Vector);
}

// Chooses the kernels drawing uses for the life of the object.
class UsingKernels {
public:
    explicit UsingKernels(KernelSet set) { drawrows::UseKernels(set); }
    ~UsingKernels() { drawrows::UseKernels(KernelSet::Vector); }
};

// Alpha values as images have them: anything, the two ends, or long runs of
// one value (which the vector code skips through).
uint8_t alphaSample(std::mt19937& rng, int style, size_t i) {
    switch (style) {
        case 0:
            return static_cast<uint8_t>(rng());
        case 1:
            return std::array<uint8_t, 4>{0, 255, 1, 254}[rng() % 4];
        default:
            return std::array<uint8_t, 4>{0, 255, 0, 128}[(i / 5) % 4];
    }
}

std::vector<uint32_t> randomPixels(std::mt19937& rng, size_t n, int style) {
    std::vector<uint32_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = (rng() & 0x00FFFFFFu) | (uint32_t{alphaSample(rng, style, i)} << 24);
    return v;
}

std::vector<uint8_t> randomBytes(std::mt19937& rng, size_t n) {
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

TEST(RowKernels, TheVectorSetIsChosenAndCanBeSwitched) {
    EXPECT_EQ(&drawrows::ActiveKernels(), &vec());
#if defined(__SSE2__)
    EXPECT_TRUE(drawrows::HasVectorKernels());
    EXPECT_NE(&vec(), &plain());
#endif
    {
        UsingKernels usingPlain(KernelSet::Plain);
        EXPECT_EQ(&drawrows::ActiveKernels(), &plain());
    }
    EXPECT_EQ(&drawrows::ActiveKernels(), &vec());
}

TEST(RowKernels, BlendEveryAlphaSourceAndTargetValueByTheFormula) {
    // Each of the 256 x 256 (alpha, source) pairs, over every target value:
    // the channels of the target are a third of the range apart, so 86
    // targets give each pair every value in one channel or another.
    std::vector<uint32_t> src(256 * 256);
    for (uint32_t a = 0; a < 256; ++a)
        for (uint32_t s = 0; s < 256; ++s)
            src[a * 256 + s] = (a << 24) | (s << 16) | (s << 8) | s;
    auto formula = [](uint32_t s, uint32_t a, uint32_t d) {
        return (s * a + (255 - a) * d + 255) >> 8;
    };
    for (const RowKernels* k : {&plain(), &vec()}) {
        for (uint32_t d = 0; d < 86; ++d) {
            const uint32_t target =
                0x3C000000u | (d << 16) | (((d + 86) & 0xFF) << 8) | ((d + 172) & 0xFF);
            std::vector<uint32_t> blended(src.size(), target), skipping(src.size(), target);
            k->blend(src.data(), blended.data(), src.size());
            k->blendSkipping(src.data(), skipping.data(), src.size());
            for (size_t i = 0; i < src.size(); ++i) {
                const uint32_t s = src[i], a = s >> 24;
                uint32_t expected = 0xFF000000u;
                for (int shift : {16, 8, 0})
                    expected |= formula(s & 0xFF, a, (target >> shift) & 0xFF) << shift;
                ASSERT_EQ(blended[i], expected) << "a " << a << " s " << (s & 0xFF) << " d " << d;
                ASSERT_EQ(skipping[i], a == 0 ? target : a == 255 ? s : expected);
            }
        }
    }
}

// Every length up to a few vector steps (the loop tails), a long row, and
// start pointers at every alignment. Buffers are exactly as long as the data,
// so a vector load past the end is a sanitizer error.
TEST(RowKernels, VectorMatchesPlainForEveryLengthAndAlignment) {
    std::mt19937 rng(13);
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 37; ++n)
        lengths.push_back(n);
    lengths.push_back(1001);
    for (size_t n : lengths) {
        for (size_t offset = 0; offset < 4; ++offset) {
            const int style = static_cast<int>((n + offset) % 3);
            SCOPED_TRACE("length " + std::to_string(n) + ", offset " + std::to_string(offset));
            const std::vector<uint8_t> bgrBuffer = randomBytes(rng, offset + 3 * n);
            const uint8_t* bgr = bgrBuffer.data() + offset;
            std::vector<uint8_t> alphaBuffer(offset + n);
            for (size_t i = 0; i < n; ++i)
                alphaBuffer[offset + i] = alphaSample(rng, style, i);
            const uint8_t* alpha = alphaBuffer.data() + offset;
            const std::vector<uint32_t> src = randomPixels(rng, n, style);
            const std::vector<uint32_t> dst = randomPixels(rng, n, 0);

            auto run = [&](const RowKernels& k) {
                std::vector<std::vector<uint32_t>> out(7, dst);
                k.expandBgr(bgr, out[0].data(), n);
                k.putAlpha(alpha, out[1].data(), n);
                // Keys that occur: every third pixel has the colour of the first.
                for (size_t i = 0; i < n; i += 3)
                    out[2][i] = out[2][0] | 0xFF000000u;
                k.clearKey(out[2].data(), n, n ? out[2][0] | 0xFF000000u : 0xFF000000u);
                k.copyVisible(src.data(), out[3].data(), n);
                k.blend(src.data(), out[4].data(), n);
                k.blendSkipping(src.data(), out[5].data(), n);
                k.blendBgrAlpha(bgr, alpha, out[6].data(), n);
                return out;
            };
            const auto expected = run(plain()), got = run(vec());
            const char* names[] = {"expandBgr", "putAlpha",      "clearKey",     "copyVisible",
                                   "blend",     "blendSkipping", "blendBgrAlpha"};
            for (size_t k = 0; k < expected.size(); ++k)
                ASSERT_EQ(got[k], expected[k]) << names[k];
        }
    }
}

// ---------------------------------------------------------------- drawings

struct Drawing {
    std::vector<uint32_t> pixels;  // every surface drawn, one after another
    std::vector<uint32_t> argb;
};

// The image drawn at its own size, clipped at every side, into odd widths,
// stretched up and down, onto white, transparent black and noise; then its
// faded copy.
Drawing drawAll(const TPNGObject& png, KernelSet set) {
    UsingKernels using_(set);
    const int w = png.Width(), h = png.Height();
    const Rect rects[] = {
        {0, 0, w, h},          {1, 2, w + 1, h + 2},         {-3, -1, w - 3, h - 1},
        {w, h, 0, 0},          {0, 0, 2 * w + 1, 3 * h},     {2, 1, 2 + w / 2 + 1, 1 + h / 3 + 1},
        {-1, 0, 3 * w / 2, h}, {5, 3, 5 + w * 5 / 4 + 3, h},
    };
    Drawing d;
    std::mt19937 rng(static_cast<unsigned>(w * 31 + h));
    for (uint32_t fill : {0xFFFFFFFFu, 0x00000000u, 0x80123456u}) {
        for (const Rect& r : rects) {
            DrawSurface surface(2 * w + 7, 3 * h + 2, fill);
            if (fill == 0x80123456u)
                for (auto& p : surface.pixels())
                    p = rng();
            png.Draw(surface, r);
            d.pixels.insert(d.pixels.end(), surface.pixels().begin(), surface.pixels().end());
        }
    }
    d.argb = png.ToARGB().pixels;
    if (!png.Empty()) {
        TPNGObject faded;
        MakeFadedCopy(png, faded);
        DrawSurface surface(w + 3, h + 1, 0xFF808080u);
        faded.Draw(surface, Rect{1, 0, w + 2, h});
        faded.Draw(surface, Rect{0, 0, w + 3, h / 2 + 1});
        d.pixels.insert(d.pixels.end(), surface.pixels().begin(), surface.pixels().end());
    }
    return d;
}

void expectSameDrawings(const TPNGObject& png) {
    const Drawing expected = drawAll(png, KernelSet::Plain), got = drawAll(png, KernelSet::Vector);
    ASSERT_EQ(got.argb, expected.argb);
    ASSERT_EQ(got.pixels.size(), expected.pixels.size());
    for (size_t i = 0; i < got.pixels.size(); ++i)
        ASSERT_EQ(got.pixels[i], expected.pixels[i]) << "at pixel " << i;
}

TEST(Drawings, CorpusDrawsTheSameWithBothKernelSets) {
    const fs::path dir = fs::path(PAGELUME_SOURCE_DIR) / "tests" / "image" / "corpus";
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".png")
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        TPNGObject png;
        png.LoadFromFile(entry.path().string());
        expectSameDrawings(png);
        ++files;
    }
    EXPECT_GE(files, 120);
}

// Random images of every colour type and depth, with and without tRNS (of
// every kind) and gAMA; alpha random, at the ends or in runs.
std::string randomPng(std::mt19937& rng) {
    static const std::vector<std::pair<int, std::vector<int>>> kTypes = {
        {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
    const auto& [colorType, depths] = kTypes[rng() % kTypes.size()];
    const int depth = depths[rng() % depths.size()];
    const uint32_t w = 1 + rng() % 45, h = 1 + rng() % 9;
    const int samples = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
    const int style = static_cast<int>(rng() % 3);
    const unsigned entries = colorType == 3 ? 1 + rng() % (1u << depth) : 0;

    std::string raw;
    for (uint32_t y = 0; y < h; ++y) {
        raw += '\0';
        std::string row((w * samples * depth + 7) / 8, '\0');
        for (uint32_t x = 0; x < w; ++x) {
            if (depth < 8) {
                const unsigned v = colorType == 3 ? rng() % entries : rng() % (1u << depth);
                const size_t bit = size_t{x} * depth;
                row[bit / 8] = static_cast<char>(row[bit / 8] | (v << (8 - depth - bit % 8)));
                continue;
            }
            const int bytes = depth / 8;
            for (int s = 0; s < samples; ++s) {
                for (int b = 0; b < bytes; ++b) {
                    const bool alpha = (colorType == 4 || colorType == 6) && s == samples - 1;
                    uint8_t v =
                        alpha ? alphaSample(rng, style, x + y) : static_cast<uint8_t>(rng());
                    if (colorType == 3)
                        v = static_cast<uint8_t>(rng() % entries);
                    row[(size_t{x} * samples + s) * bytes + b] = static_cast<char>(v);
                }
            }
        }
        raw += row;
    }

    PngBuilder b;
    b.ihdr(w, h, depth, colorType);
    if (rng() % 5 == 0)
        b.chunk("gAMA", PngBuilder::bytes({0, 1, 0x86, 0xA0}));  // 100000
    if (colorType == 3) {
        std::string plte;
        for (unsigned i = 0; i < 3 * entries; ++i)
            plte += static_cast<char>(rng());
        b.chunk("PLTE", plte);
    }
    const unsigned trns = rng() % 4;  // 0: none
    if (colorType == 3 && trns) {
        std::string t(1 + rng() % entries, '\xFF');
        if (trns == 1)  // one entry differs: single colour
            t[rng() % t.size()] = static_cast<char>(rng() % 2 ? 0 : 77);
        else
            for (auto& c : t)
                c = static_cast<char>(trns == 2 ? rng() : 0);
        b.chunk("tRNS", t);
    } else if ((colorType == 0 || colorType == 2) && trns) {
        // Often the colour of the first pixel, so that something is keyed.
        std::string t;
        for (int s = 0; s < samples; ++s) {
            const int v = depth == 8 && trns != 3 ? static_cast<uint8_t>(raw[1 + s])
                                                  : static_cast<int>(rng() % (1u << depth));
            t += PngBuilder::bytes({v >> 8, v & 0xFF});
        }
        b.chunk("tRNS", t);
    }
    b.idat(PngBuilder::deflate(raw)).iend();
    return b.str();
}

TEST(Drawings, RandomImagesDrawTheSameWithBothKernelSets) {
    std::mt19937 rng(2024);
    for (int i = 0; i < 150; ++i) {
        const std::string file = randomPng(rng);
        SCOPED_TRACE("image " + std::to_string(i));
        TPNGObject png;
        png.LoadFromMemory(file.data(), file.size());
        expectSameDrawings(png);
    }
}

}  // namespace
