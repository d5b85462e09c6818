// Sizes and the Lanczos-3 scaler, against a slow reference computed here in
// double precision over every input pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "fit/fit_page.h"
#include "fit/resample.h"

using namespace pagelume::fit;

namespace {

double sincRef(double x) {
    return x == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
}

// Weights of every input sample for one output sample.
std::vector<double> referenceWeights(int in, int out, int o) {
    const double scale = double(in) / out, stretch = std::max(scale, 1.0);
    const double centre = (o + 0.5) * scale;
    std::vector<double> w(in);
    double total = 0;
    for (int i = 0; i < in; ++i) {
        const double t = (i + 0.5 - centre) / stretch;
        w[i] = std::abs(t) < 3 ? sincRef(t) * sincRef(t / 3) : 0;
        total += w[i];
    }
    for (double& v : w)
        v /= total;
    return w;
}

Pixmap referenceScale(const Pixmap& in, int outW, int outH) {
    Pixmap out(outW, outH, in.channels);
    for (int y = 0; y < outH; ++y) {
        const auto wy = referenceWeights(in.height, outH, y);
        for (int x = 0; x < outW; ++x) {
            const auto wx = referenceWeights(in.width, outW, x);
            for (int c = 0; c < in.channels; ++c) {
                double sum = 0;
                for (int sy = 0; sy < in.height; ++sy)
                    for (int sx = 0; sx < in.width; ++sx)
                        sum += wy[sy] * wx[sx] * in.row(sy)[sx * in.channels + c];
                out.row(y)[x * in.channels + c] =
                    static_cast<uint8_t>(std::clamp(std::lround(sum), 0L, 255L));
            }
        }
    }
    return out;
}

Pixmap noise(int w, int h, int channels, uint32_t seed) {
    Pixmap p(w, h, channels);
    for (auto& v : p.data) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<uint8_t>(seed >> 24);
    }
    return p;
}

Pixmap scaled(const Pixmap& in, int outW, int outH) {
    Pixmap out(outW, outH, in.channels);
    PixmapSource source(in);
    int y = 0;
    resample(
        source, outW, outH,
        [&](const uint8_t* row) {
            ASSERT_LT(y, outH);
            std::copy(row, row + out.rowBytes(), out.row(y++));
        },
        nullptr);
    EXPECT_EQ(y, outH);
    return out;
}

}  // namespace

TEST(FittedSize, KeepsProportionsAndMeetsTheBox) {
    EXPECT_EQ(fittedSize(2480, 3508, 1264, 1680), (Size{1188, 1680}));
    EXPECT_EQ(fittedSize(3508, 2480, 1264, 1680), (Size{1264, 894}));
    EXPECT_EQ(fittedSize(2528, 3360, 1264, 1680), (Size{1264, 1680}));  // exactly twice
    EXPECT_EQ(fittedSize(1264, 1680, 1264, 1680), (Size{1264, 1680}));  // fits already
    EXPECT_EQ(fittedSize(100, 2000, 1264, 1680), (Size{84, 1680}));     // only too tall
    EXPECT_EQ(fittedSize(2000, 100, 1264, 1680), (Size{1264, 63}));     // only too wide
    EXPECT_EQ(fittedSize(100000, 1, 1264, 1680), (Size{1264, 1}));      // never 0
    EXPECT_EQ(fittedSize(1, 100000, 1264, 1680), (Size{1, 1680}));
    for (int w = 1300; w < 5000; w += 97)
        for (int h = 1700; h < 5000; h += 89) {
            const Size s = fittedSize(w, h, 1264, 1680);
            ASSERT_TRUE((s.width == 1264 && s.height <= 1680) ||
                        (s.height == 1680 && s.width <= 1264));
            // The other side is within half a pixel of the page's proportions.
            const double scale = std::min(1264.0 / w, 1680.0 / h);
            EXPECT_LE(std::abs(w * scale - s.width), 0.5 + 1e-9) << w << "x" << h;
            EXPECT_LE(std::abs(h * scale - s.height), 0.5 + 1e-9) << w << "x" << h;
        }
}

TEST(Scaler, MatchesTheSlowReference) {
    struct Case {
        int inW, inH, outW, outH;
    } cases[] = {{37, 23, 11, 7},  {50, 50, 17, 33}, {9, 5, 9, 3}, {64, 3, 16, 3},
                 {40, 40, 39, 39}, {31, 60, 8, 8},   {5, 5, 1, 1}};
    for (int channels : {1, 3})
        for (const Case& c : cases) {
            const Pixmap in = noise(c.inW, c.inH, channels, c.inW * 7 + c.outH);
            const Pixmap got = scaled(in, c.outW, c.outH);
            const Pixmap want = referenceScale(in, c.outW, c.outH);
            for (size_t i = 0; i < got.data.size(); ++i)
                ASSERT_LE(std::abs(got.data[i] - want.data[i]), 1)
                    << c.inW << "x" << c.inH << " to " << c.outW << "x" << c.outH << ", "
                    << channels << " channels, sample " << i;
        }
}

TEST(Scaler, FlatColourStaysExactToTheEdges) {
    Pixmap in(101, 77, 3);
    for (size_t i = 0; i < in.data.size(); ++i)
        in.data[i] = static_cast<uint8_t>(i % 3 == 0 ? 200 : i % 3 == 1 ? 17 : 255);
    const Pixmap out = scaled(in, 33, 25);
    for (size_t i = 0; i < out.data.size(); ++i)
        ASSERT_EQ(out.data[i], i % 3 == 0 ? 200 : i % 3 == 1 ? 17 : 255) << i;
}

TEST(Scaler, HoldsOnlyAFewRows) {
    // Output rows come out while input rows go in, not all at the end.
    const Pixmap in = noise(64, 400, 3, 5);
    Resampler r(64, 400, 32, 100, 3);
    int emitted = 0;
    for (int y = 0; y < 200; ++y)
        r.pushRow(in.row(y), [&](const uint8_t*) { ++emitted; });
    EXPECT_GE(emitted, 47);
    for (int y = 200; y < 400; ++y)
        r.pushRow(in.row(y), [&](const uint8_t*) { ++emitted; });
    EXPECT_EQ(emitted, 100);
    EXPECT_TRUE(r.finished());
    EXPECT_THROW(r.pushRow(in.row(0), [](const uint8_t*) {}), EFitError);
}
