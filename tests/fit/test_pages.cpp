// Fitting single pages: formats, reduced JPEG decoding, Exif orientation,
// transparency, grey, pages left alone and damaged pages.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "fit/decode.h"
#include "fit/fit_page.h"
#include "fit/orientation.h"
#include "fit/pictures.h"
#include "support/pngwrite.h"
#include "support/tempdir.h"

using namespace pagelume::fit;
using pagelume::test::TempDir;
namespace t = pagelume::test;

namespace {

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// An upright 48 x 32 picture in four quadrants: red, green / blue, yellow.
uint32_t quadrants(int x, int y) {
    const bool right = x >= 24, bottom = y >= 16;
    return bottom ? (right ? 0xFFFF00 : 0x0000FF) : (right ? 0x00FF00 : 0xFF0000);
}

void expectColour(const Pixmap& p, int x, int y, uint32_t rgb, const std::string& what) {
    const uint8_t* px = p.row(y) + x * 3;
    const int want[3] = {int(rgb >> 16), int((rgb >> 8) & 0xFF), int(rgb & 0xFF)};
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(px[c], want[c], 40) << what << " at " << x << "," << y << " channel " << c;
}

}  // namespace

TEST(JpegReduction, TheLargestThatStillCoversTheTarget) {
    EXPECT_EQ(jpegReduction(2480, 3508, 1188, 1680), 2);
    EXPECT_EQ(jpegReduction(2528, 3360, 1264, 1680), 2);  // exactly twice
    EXPECT_EQ(jpegReduction(2527, 3360, 1264, 1680), 2);  // halved and rounded up: 1264
    EXPECT_EQ(jpegReduction(2526, 3360, 1264, 1680), 1);  // a pixel short
    EXPECT_EQ(jpegReduction(2001, 100, 1001, 50), 2);     // libjpeg rounds up: 1001
    EXPECT_EQ(jpegReduction(4000, 4000, 1000, 1000), 4);
    EXPECT_EQ(jpegReduction(8000, 8000, 1000, 1000), 8);
    EXPECT_EQ(jpegReduction(64000, 64000, 1000, 1000), 8);  // libjpeg goes no further
    EXPECT_EQ(jpegReduction(1000, 1000, 1000, 1000), 1);
}

TEST(JpegReduction, TheDecoderDeliversTheReducedSize) {
    TempDir dir;
    t::writeFile(dir / "p.jpg", t::makeJpeg(400, 300, [](int x, int y) { return x * 3 + y; }));
    auto reader = openPage(dir / "p.jpg", nullptr);
    RowSource& rows = reader->start(100, 75, false);
    EXPECT_EQ(rows.width(), 100);
    EXPECT_EQ(rows.height(), 75);
    auto again = openPage(dir / "p.jpg", nullptr);
    RowSource& larger = again->start(101, 75, false);
    EXPECT_EQ(larger.width(), 200);
    EXPECT_EQ(larger.height(), 150);
    // Without shrinking on load the page is decoded whole and still fitted.
    FitOptions o{100, 100, false, 85, false};
    Pixmap out;
    ASSERT_EQ(fitPageToPixmap(dir / "p.jpg", o, out).status, FitStatus::Written);
    EXPECT_EQ(out.width, 100);
    EXPECT_EQ(out.height, 75);
}

TEST(ExifOrientation, ReadsTheTagInEitherByteOrder) {
    for (int o = 1; o <= 8; ++o)
        for (bool big : {false, true}) {
            const std::string app1 = t::exifApp1(o, big);
            EXPECT_EQ(exifOrientation(reinterpret_cast<const uint8_t*>(app1.data()), app1.size()),
                      o);
        }
}

TEST(ExifOrientation, DamagedBlocksCountAsUpright) {
    const std::string good = t::exifApp1(6);
    const auto* p = reinterpret_cast<const uint8_t*>(good.data());
    // Cut anywhere before the end of the tag's value.
    for (size_t n = 0; n < good.size() - 4; ++n)
        EXPECT_EQ(exifOrientation(p, n), 1) << n;
    EXPECT_EQ(exifOrientation(p, good.size() - 4), 6);
    std::string s = good;
    s[6] = 'X';  // no byte order mark
    EXPECT_EQ(exifOrientation(reinterpret_cast<const uint8_t*>(s.data()), s.size()), 1);
    s = good;
    s[10] = static_cast<char>(0xF0);  // the directory far past the end
    EXPECT_EQ(exifOrientation(reinterpret_cast<const uint8_t*>(s.data()), s.size()), 1);
    s = good;
    s[16 + 12 + 8] = 9;  // no such orientation
    EXPECT_EQ(exifOrientation(reinterpret_cast<const uint8_t*>(s.data()), s.size()), 1);
    s = good;
    s[14] = static_cast<char>(0xFF), s[15] = static_cast<char>(0xFF);  // 65535 entries claimed
    s[28] = 0x13;                                                      // none of them the tag
    EXPECT_EQ(exifOrientation(reinterpret_cast<const uint8_t*>(s.data()), s.size()), 1);
    EXPECT_EQ(exifOrientation(nullptr, 100), 1);
}

TEST(ExifOrientation, EveryOrientationComesOutUpright) {
    // Where stored row 0 and stored column 0 lie in the upright picture, per
    // orientation: Top, Bottom, Left, Right.
    const char* sides[9] = {"", "TL", "TR", "BR", "BL", "LT", "RT", "RB", "LB"};
    TempDir dir;
    for (int o = 1; o <= 8; ++o) {
        const char row = sides[o][0], col = sides[o][1];
        const bool swap = row == 'L' || row == 'R';
        const int W = 48, H = 32;    // upright
        const int w = swap ? H : W;  // stored
        const int h = swap ? W : H;
        auto stored = [&](int sx, int sy) {
            int x, y;
            if (!swap) {
                y = row == 'T' ? sy : H - 1 - sy;
                x = col == 'L' ? sx : W - 1 - sx;
            } else {
                x = row == 'L' ? sy : W - 1 - sy;
                y = col == 'T' ? sx : H - 1 - sx;
            }
            return quadrants(x, y);
        };
        const std::string path = dir / ("o" + std::to_string(o) + ".jpg");
        t::writeFile(path, t::makeJpeg(w, h, stored, t::exifApp1(o, o % 2 == 0)));
        ASSERT_EQ(openPage(path, nullptr)->header().orientation, o);
        Pixmap out;
        const FitResult r = fitPageToPixmap(path, FitOptions{24, 24}, out);
        ASSERT_EQ(r.status, FitStatus::Written) << r.reason;
        ASSERT_EQ(out.width, 24) << "orientation " << o;
        ASSERT_EQ(out.height, 16) << "orientation " << o;
        const std::string what = "orientation " + std::to_string(o);
        expectColour(out, 5, 3, 0xFF0000, what);
        expectColour(out, 18, 3, 0x00FF00, what);
        expectColour(out, 5, 12, 0x0000FF, what);
        expectColour(out, 18, 12, 0xFFFF00, what);
    }
}

TEST(Transparency, IsFlattenedOverWhite) {
    TempDir dir;
    // Left half: transparent red; right half: opaque blue; one column of
    // half-transparent black in the middle.
    t::writeFile(dir / "a.png", t::makePng(40, 40, [](int x, int) -> uint32_t {
                     return x < 20 ? 0x00FF0000u : x == 20 ? 0x80000000u : 0xFF0000FFu;
                 }));
    Pixmap out;
    ASSERT_EQ(fitPageToPixmap(dir / "a.png", FitOptions{20, 20}, out).status, FitStatus::Written);
    ASSERT_EQ(out.channels, 3);
    const uint8_t* row = out.row(10);
    EXPECT_EQ(row[0], 255);
    EXPECT_EQ(row[1], 255);
    EXPECT_EQ(row[2], 255);
    EXPECT_EQ(row[19 * 3], 0);
    EXPECT_EQ(row[19 * 3 + 1], 0);
    EXPECT_EQ(row[19 * 3 + 2], 255);
    // At its own size, in grey: each pixel exactly.
    ASSERT_EQ(fitPageToPixmap(dir / "a.png", FitOptions{100, 100, true}, out).status,
              FitStatus::Written);
    EXPECT_EQ(out.row(0)[0], 255);
    EXPECT_EQ(out.row(0)[20], 127);  // black at alpha 128 over white, as the preview draws it
    EXPECT_EQ(out.row(0)[39], 29);   // blue

    // A GIF's transparent index shows white too.
    std::vector<uint8_t> idx(8 * 4);
    for (size_t i = 0; i < idx.size(); ++i)
        idx[i] = static_cast<uint8_t>(i % 8 < 4 ? 2 : 1);
    const uint32_t pal[4] = {0x000000, 0x00FF00, 0xFF0000, 0x0000FF};
    t::writeFile(dir / "t.gif", t::makeGif(8, 4, idx, pal, 2));
    ASSERT_EQ(fitPageToPixmap(dir / "t.gif", FitOptions{100, 100, true}, out).status,
              FitStatus::Written);
    EXPECT_EQ(out.row(1)[0], 255);
    EXPECT_EQ(out.row(1)[7], 150);  // green
}

TEST(Grey, UsesTheBt601Weights) {
    const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0x0AC81E, 0x808080,
                                0x123456, 0xFFFFFF, 0x000000, 0xFE01C3, 0x33CC99};
    TempDir dir;
    t::writeFile(dir / "c.png",
                 t::makePng(
                     10, 1, [&](int x, int) { return 0xFF000000u | colours[x]; }, false));
    Pixmap out;
    ASSERT_EQ(fitPageToPixmap(dir / "c.png", FitOptions{100, 100, true}, out).status,
              FitStatus::Written);
    ASSERT_EQ(out.channels, 1);
    for (int x = 0; x < 10; ++x) {
        const double r = colours[x] >> 16, g = (colours[x] >> 8) & 0xFF, b = colours[x] & 0xFF;
        EXPECT_EQ(out.row(0)[x], std::lround(0.299 * r + 0.587 * g + 0.114 * b)) << x;
    }
}

TEST(FitPage, LeavesPagesWithinTheBoxAlone) {
    TempDir dir;
    const uint32_t pal[4] = {0, 0xFFFFFF, 0xFF0000, 0x00FF00};
    t::writeFile(dir / "s.png",
                 t::makePng(30, 50, [](int x, int y) { return 0xFF000000u | (x * 8 << 8) | y; }));
    t::writeFile(dir / "s.jpg", t::makeJpeg(30, 50, [](int x, int) { return x * 8; }));
    t::writeFile(dir / "s.gif", t::makeGif(30, 50, std::vector<uint8_t>(1500, 2), pal));
    for (const char* name : {"s.png", "s.jpg", "s.gif"}) {
        const FitResult r = fitPage(dir / name, dir / "out.jpg", FitOptions{30, 60});
        EXPECT_EQ(r.status, FitStatus::Unchanged) << name;
        EXPECT_FALSE(exists(dir / "out.jpg")) << name;
        // Grey asks for a new picture at the same size.
        const FitResult g = fitPage(dir / name, dir / "grey.jpg", FitOptions{30, 60, true});
        ASSERT_EQ(g.status, FitStatus::Written) << name << ": " << g.reason;
        const Pixmap back = t::decodeJpeg(t::readFile(dir / "grey.jpg"));
        EXPECT_EQ(back.width, 30);
        EXPECT_EQ(back.height, 50);
        EXPECT_EQ(back.channels, 1);
    }
    // A rotated phone picture is judged by its upright size.
    t::writeFile(dir / "r.jpg", t::makeJpeg(
                                    50, 30, [](int, int) { return 0; }, t::exifApp1(6)));
    EXPECT_EQ(fitPage(dir / "r.jpg", dir / "out.jpg", FitOptions{30, 50}).status,
              FitStatus::Unchanged);
    EXPECT_EQ(fitPage(dir / "r.jpg", dir / "out.jpg", FitOptions{50, 30}).status,
              FitStatus::Written);
}

TEST(FitPage, WritesABaselineJpegWithoutMetadata) {
    TempDir dir;
    t::writeFile(dir / "big.jpg",
                 t::makeJpeg(
                     300, 200, [](int x, int y) { return x << 16 | y; }, t::exifApp1(1)));
    for (bool grey : {false, true}) {
        const FitResult r =
            fitPage(dir / "big.jpg", dir / "out.jpg", FitOptions{150, 150, grey, 70});
        ASSERT_EQ(r.status, FitStatus::Written) << r.reason;
        EXPECT_EQ(r.width, 150);
        EXPECT_EQ(r.height, 100);
        const std::string bytes = t::readFile(dir / "out.jpg");
        const size_t sof = bytes.find("\xFF\xC0");
        ASSERT_NE(sof, std::string::npos) << "baseline frame";
        EXPECT_EQ(bytes.find("\xFF\xC2"), std::string::npos) << "no progressive frame";
        EXPECT_EQ(bytes.find("Exif"), std::string::npos);
        const int components = static_cast<uint8_t>(bytes[sof + 9]);
        ASSERT_EQ(components, grey ? 1 : 3);
        if (!grey) {
            EXPECT_EQ(static_cast<uint8_t>(bytes[sof + 11]), 0x22) << "4:2:0 luma sampling";
            EXPECT_EQ(static_cast<uint8_t>(bytes[sof + 14]), 0x11);
        }
        const Pixmap back = t::decodeJpeg(bytes);
        EXPECT_EQ(back.width, 150);
        EXPECT_EQ(back.height, 100);
    }
    EXPECT_EQ(fitPage(dir / "big.jpg", dir / "x.jpg", FitOptions{150, 150, false, 0}).status,
              FitStatus::Failed);
}

TEST(FitPage, DamagedPagesFailWithoutOutput) {
    TempDir dir;
    const std::string jpeg = t::makeJpeg(200, 200, [](int x, int y) { return x * y; });
    const std::string png =
        t::makePng(200, 200, [](int x, int y) { return 0xFF000000u | (x * y); });
    const uint32_t pal[4] = {0, 0xFFFFFF, 0xFF0000, 0x00FF00};
    const std::string gif = t::makeGif(200, 200, std::vector<uint8_t>(40000, 1), pal);
    const std::pair<const char*, std::string> pages[] = {
        {"half.jpg", jpeg.substr(0, jpeg.size() / 2)},
        {"head.jpg", jpeg.substr(0, 40)},
        {"half.png", png.substr(0, png.size() / 2)},
        {"head.png", png.substr(0, 30)},
        {"half.gif", gif.substr(0, gif.size() / 2)},
        {"head.gif", gif.substr(0, 12)},
        {"empty.png", ""},
        {"text.jpg", "not a picture at all"},
        {"bmp.bmp", "BM" + std::string(100, '\0')},
    };
    for (const auto& [name, bytes] : pages) {
        t::writeFile(dir / name, bytes);
        const FitResult r = fitPage(dir / name, dir / "out.jpg", FitOptions{50, 50});
        EXPECT_EQ(r.status, FitStatus::Failed) << name;
        EXPECT_FALSE(r.reason.empty()) << name;
        EXPECT_FALSE(exists(dir / "out.jpg")) << name;
    }
    EXPECT_EQ(fitPage(dir / "missing.png", dir / "out.jpg", FitOptions{50, 50}).status,
              FitStatus::Failed);
    // A page too large to decode is refused before its pixels are allocated.
    std::string huge = t::makePng(1, 1, [](int, int) { return 0xFF000000u; });
    huge[16] = huge[17] = huge[20] = huge[21] = 0x7F;
    t::writeFile(dir / "huge.png", huge);
    EXPECT_EQ(fitPage(dir / "huge.png", dir / "out.jpg", FitOptions{50, 50}).status,
              FitStatus::Failed);
}

TEST(FitPage, AStopAlreadyAskedForWritesNothing) {
    TempDir dir;
    t::writeFile(dir / "p.jpg", t::makeJpeg(200, 200, [](int x, int) { return x; }));
    t::writeFile(dir / "p.png", t::makePng(200, 200, [](int x, int) { return 0xFF000000u | x; }));
    std::atomic<bool> stop{true};
    for (const char* name : {"p.jpg", "p.png"}) {
        EXPECT_EQ(fitPage(dir / name, dir / "out.jpg", FitOptions{50, 50}, &stop).status,
                  FitStatus::Stopped);
        EXPECT_FALSE(exists(dir / "out.jpg"));
    }
}
