// Behaviour of the PNG image object beyond plain decoding: the chunk list,
// storage layout, gamma, transparency modes, drawing and the faded copy.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "image/pngimage.h"
#include "png_builder.h"
#include "support/tempdir.h"

using namespace pagelume::image;
using B = PngBuilder;

namespace {

TPNGObject load(const std::string& file) {
    TPNGObject png;
    png.LoadFromMemory(file.data(), file.size());
    return png;
}

std::string chunkNames(const TPNGObject& png) {
    std::string names;
    for (const auto& c : png.Chunks())
        names += c->NameString() + " ";
    return names;
}

std::string rgba(int r, int g, int b, int a) {
    return B::bytes({r, g, b, a});
}

// An RGBA image whose pixel (x, y) is distinct for every position.
std::string patternRgba(uint32_t w, uint32_t h) {
    return simplePng(w, h, 8, 6, [](uint32_t x, uint32_t y) {
        return rgba(static_cast<int>(x * 7), static_cast<int>(y * 5), 99,
                    static_cast<int>((x + y) * 3) % 256);
    });
}

TEST(Loading, KeepsTheChunkListAsTheFileHasIt) {
    std::string file = B().ihdr(2, 1, 8, 2)
                           .chunk("cHRM", std::string(32, '\1'))
                           .chunk("iCCP", "p\0\0zz")
                           .chunk("bKGD", B::bytes({0, 1, 0, 2, 0, 3}))
                           .idat(B::deflate(B::rows(2, 1,
                                                    [](auto, auto) {
                                                        return B::bytes({1, 2, 3});
                                                    })))
                           .chunk("iTXt", "k\0\0\0\0\0t")
                           .chunk("tEXt", std::string("Title\0Pages", 11))
                           .iend()
                           .str();
    TPNGObject png = load(file);
    // cHRM is dropped; unknown ancillary chunks stay with their raw bytes.
    EXPECT_EQ(chunkNames(png), "IHDR iCCP bKGD IDAT iTXt tEXt IEND ");
    EXPECT_EQ(png.FindChunk("bKGD")->Data(), std::vector<uint8_t>({0, 1, 0, 2, 0, 3}));
    auto* text = png.Find<TChunktEXt>();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->Keyword, "Title");
    EXPECT_EQ(text->Text, "Pages");
}

TEST(Loading, DecodesOnlyTheFirstRunOfImageData) {
    auto red = B::rows(2, 2, [](auto, auto) { return B::bytes({255, 0, 0}); });
    auto blue = B::rows(2, 2, [](auto, auto) { return B::bytes({0, 0, 255}); });
    std::string z = B::deflate(red);
    std::string file = B().ihdr(2, 2, 8, 2)
                           .idat(z.substr(0, 5))
                           .idat(z.substr(5))
                           .idat("")  // trailing empty chunk of the same run
                           .chunk("tEXt", std::string("a\0b", 3))
                           .idat(B::deflate(blue))  // a second run is skipped
                           .iend()
                           .str();
    TPNGObject png = load(file);
    EXPECT_EQ(chunkNames(png), "IHDR IDAT tEXt IEND ");
    EXPECT_EQ(png.ToARGB().pixels, std::vector<uint32_t>(4, 0xFFFF0000u));
}

TEST(Loading, FromFileStreamAndMemoryAlike) {
    std::string file = patternRgba(9, 7);
    std::istringstream stream(file);
    TPNGObject fromStream;
    fromStream.LoadFromStream(stream);
    pagelume::test::TempDir dir;
    const std::filesystem::path path = dir / "loading.png";
    std::ofstream(path, std::ios::binary) << file;
    TPNGObject fromFile;
    fromFile.LoadFromFile(path.string());
    EXPECT_EQ(fromStream.ToARGB().pixels, load(file).ToARGB().pixels);
    EXPECT_EQ(fromFile.ToARGB().pixels, load(file).ToARGB().pixels);
    EXPECT_THROW(fromFile.LoadFromFile(path.string() + ".missing"), pagelume::EInOutError);

    // A stream set to throw at its end still ends in our own exception.
    std::istringstream cut(file.substr(0, 40));
    cut.exceptions(std::ios::failbit | std::ios::eofbit);
    EXPECT_THROW(fromStream.LoadFromStream(cut), EPngUnexpectedEnd);
}

TEST(Loading, AFailureKeepsTheChunksReadSoFarAndTheNextLoadStartsAfresh) {
    std::string file = patternRgba(4, 4);
    TPNGObject png;
    std::string truncated = file.substr(0, 8 + 25 + 6);  // IHDR, a length, half a type
    EXPECT_THROW(png.LoadFromMemory(truncated.data(), truncated.size()), EPngUnexpectedEnd);
    EXPECT_EQ(chunkNames(png), "IHDR ");
    EXPECT_EQ(png.Width(), 4);
    png.LoadFromMemory(file.data(), file.size());
    EXPECT_EQ(chunkNames(png), "IHDR IDAT IEND ");
}

TEST(Loading, AcceptsStorageOfExactlyOneGibibyte) {
    // 65535 grey pixels make rows of 65536 bytes: 16384 rows are 2^30 bytes.
    std::string row = std::string(1, '\0') + std::string(65535, '\x40');
    std::string file = B().ihdr(65535, 16384, 8, 0).idat(B::deflate(row)).iend().str();
    TPNGObject png = load(file);
    EXPECT_EQ(png.Height(), 16384);
    EXPECT_EQ(png.Header().PixelColor(65534, 0), 0x404040u);  // decoded first row
    EXPECT_EQ(png.Header().PixelColor(0, 1), 0u);             // rows never sent stay zero
}

TEST(Storage, IsABottomUpBitmapWithPaddedRows) {
    // 3x2 RGB: 9 bytes per row padded to 12, blue-green-red, bottom row first.
    std::string file = simplePng(3, 2, 8, 2, [](uint32_t x, uint32_t y) {
        return B::bytes({int(10 * x + y), 7, 9});
    });
    TPNGObject png = load(file);
    const TChunkIHDR& h = png.Header();
    EXPECT_EQ(h.BytesPerRow(), 12u);
    EXPECT_EQ(h.ImageAlpha(), nullptr);
    const uint8_t* bottom = h.ImageData();
    EXPECT_EQ(std::vector<uint8_t>(bottom, bottom + 9),
              std::vector<uint8_t>({9, 7, 1, 9, 7, 11, 9, 7, 21}));
    EXPECT_EQ(h.ImageData()[12 + 5], 10);  // top row, red of pixel (1, 0)

    // Grey at depth 2 is kept as 4-bit indices into a ramp.
    TPNGObject grey = load(simplePng(4, 1, 2, 0, [](uint32_t x, uint32_t) {
        return x == 0 ? B::bytes({0x1B}) : std::string();  // indices 0, 1, 2, 3
    }));
    EXPECT_EQ(grey.Header().BitsPerPixel(), 4u);
    EXPECT_EQ(grey.Header().ImageData()[0], 0x01);
    EXPECT_EQ(grey.Header().ImageData()[1], 0x23);
    EXPECT_EQ(grey.ToARGB().pixels,
              std::vector<uint32_t>({0xFF000000u, 0xFF555555u, 0xFFAAAAAAu, 0xFFFFFFFFu}));
}

TEST(Storage, SixteenBitSamplesSplitIntoHighAndLowBytes) {
    // The 16-bit icon: drawn with the high bytes, low bytes kept aside.
    std::string file = simplePng(2, 1, 16, 6, [](uint32_t x, uint32_t) {
        return x == 0 ? B::bytes({0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xFF, 0x01})
                      : B::bytes({0, 0, 0, 0, 0, 0, 0x80, 0xFF});
    });
    TPNGObject png = load(file);
    const TChunkIHDR& h = png.Header();
    EXPECT_EQ(std::vector<uint8_t>(h.ExtraImageData(), h.ExtraImageData() + 3),
              std::vector<uint8_t>({0xBC, 0x78, 0x34}));
    EXPECT_EQ(h.ImageAlpha()[1], 0x80);
    DrawSurface s(2, 1);
    png.Draw(s, Rect{0, 0, 2, 1});
    EXPECT_EQ(s.pixel(0, 0), 0xFF12569Au);
    EXPECT_EQ(s.pixel(1, 0), 0xFF7F7F7Fu);
}

std::string gamaPng(uint32_t gamma) {
    std::string g;
    B::append32(g, gamma);
    return simplePng(1, 1, 8, 2,
                     [](auto, auto) {
                         return B::bytes({128, 64, 255});
                     },
                     {{"gAMA", g}});
}

TEST(Gamma, BuildsTablesFromTheChunkAndClearResetsThem) {
    TPNGObject neutral = load(gamaPng(45455));
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(neutral.GammaTable[i], i);

    TPNGObject bright = load(gamaPng(100000));
    EXPECT_EQ(bright.GammaTable[128], 186);
    EXPECT_EQ(bright.InverseTable[186], 128);
    EXPECT_EQ(bright.ToARGB().pixels[0], 0xFFBA88FFu);  // samples pass through the table

    bright.Clear();
    EXPECT_EQ(bright.GammaTable[128], 128);
    EXPECT_TRUE(bright.Empty());
    EXPECT_EQ(bright.Width(), 0);
}

TEST(Gamma, AppliesToPaletteEntries) {
    std::string g;
    B::append32(g, 100000);
    std::string file = simplePng(1, 1, 8, 3, [](auto, auto) { return B::bytes({1}); },
                                 {{"gAMA", g}, {"PLTE", B::bytes({0, 0, 0, 128, 128, 128})}});
    TPNGObject png = load(file);
    EXPECT_EQ(png.Find<TChunkPLTE>()->Item(1), 0xBABABAu);
    EXPECT_THROW(png.Find<TChunkPLTE>()->Item(2), EPngError);
}

struct ModeCase {
    int colorType;
    std::string trns;  // empty: no tRNS chunk
    TPNGTransparencyMode mode;
};

TEST(Transparency, ModeFollowsColourTypeAndTrns) {
    using M = TPNGTransparencyMode;
    const std::string plte = B::bytes({0, 0, 0, 10, 10, 10, 20, 20, 20});
    const ModeCase cases[] = {
        {0, "", M::ptmNone},
        {0, B::bytes({0, 5}), M::ptmSingleColor},
        {2, B::bytes({0, 1, 0, 2, 0, 3}), M::ptmSingleColor},
        {3, "", M::ptmNone},
        {3, B::bytes({255, 0}), M::ptmSingleColor},
        {3, B::bytes({255, 128}), M::ptmSingleColor},  // one entry differs, even if not 0
        {3, B::bytes({0, 128}), M::ptmPartial},
        {4, "", M::ptmPartial},
        {6, "", M::ptmPartial},
    };
    for (const ModeCase& c : cases) {
        std::vector<std::pair<std::string, std::string>> chunks;
        if (c.colorType == 3)
            chunks.push_back({"PLTE", plte});
        if (!c.trns.empty())
            chunks.push_back({"tRNS", c.trns});
        int bytes = c.colorType == 2 ? 3 : c.colorType == 4 ? 2 : c.colorType == 6 ? 4 : 1;
        std::string file = simplePng(
            1, 1, 8, c.colorType, [&](auto, auto) { return std::string(bytes, '\0'); }, chunks);
        EXPECT_EQ(load(file).TransparencyMode(), c.mode)
            << "colour type " << c.colorType << ", tRNS bytes " << c.trns.size();
    }
}

TEST(Transparency, SingleColourLeavesTheSurfaceUnderTheKeyColour) {
    // Palette: the first entry with alpha 0 gives the key colour.
    std::string file = simplePng(
        3, 1, 8, 3, [](uint32_t x, auto) { return B::bytes({int(x)}); },
        {{"PLTE", B::bytes({255, 0, 0, 0, 255, 0, 0, 0, 255})}, {"tRNS", B::bytes({255, 0})}});
    TPNGObject png = load(file);
    DrawSurface s(3, 1, 0xFF123456u);
    png.Draw(s, Rect{0, 0, 3, 1});
    EXPECT_EQ(s.pixels(), std::vector<uint32_t>({0xFFFF0000u, 0xFF123456u, 0xFF0000FFu}));

    // Grey: the ramp colour at the low byte of the tRNS value.
    TPNGObject grey =
        load(simplePng(2, 1, 8, 0, [](uint32_t x, auto) { return B::bytes({int(x) * 9}); },
                       {{"tRNS", B::bytes({0, 9})}}));
    DrawSurface g(2, 1, 0xFF123456u);
    grey.Draw(g, Rect{0, 0, 2, 1});
    EXPECT_EQ(g.pixels(), std::vector<uint32_t>({0xFF000000u, 0xFF123456u}));
}

TEST(Drawing, BlendsPartialAlphaWithTheRoundingFormula) {
    // Black at alpha 128 over white gives 127; alpha 0 leaves the surface as
    // it was, alpha 255 copies.
    TPNGObject png = load(simplePng(3, 1, 8, 6, [](uint32_t x, auto) {
        return rgba(0, 0, 0, x == 0 ? 128 : x == 1 ? 0 : 255);
    }));
    DrawSurface s(3, 1, 0x00FFFFFFu);
    png.Draw(s, Rect{0, 0, 3, 1});
    EXPECT_EQ(s.pixels(), std::vector<uint32_t>({0xFF7F7F7Fu, 0x00FFFFFFu, 0xFF000000u}));

    // Grey with alpha: (200 * 100 + 155 * 50 + 255) >> 8 = 109 in every channel.
    TPNGObject grey = load(simplePng(1, 1, 8, 4, [](auto, auto) { return B::bytes({200, 100}); }));
    DrawSurface g(1, 1, 0xFF323232u);
    grey.Draw(g, Rect{0, 0, 1, 1});
    EXPECT_EQ(g.pixel(0, 0), 0xFF6D6D6Du);
}

TEST(Drawing, StretchesByNearestNeighbour) {
    TPNGObject png = load(patternRgba(32, 32));
    ARGBImage src = png.ToARGB();
    DrawSurface big(64, 64, 0xFFFFFFFFu), small(32, 32, 0xFFFFFFFFu);
    png.Draw(big, Rect{0, 0, 64, 64});
    png.Draw(small, Rect{0, 0, 32, 32});
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(big.pixel(x, y), small.pixel(x / 2, y / 2)) << x << "," << y;

    // Reduced: target column x shows source column trunc(x / (4 / 12)).
    DrawSurface reduced(4, 1, 0xFF000000u);
    TPNGObject row = load(simplePng(12, 1, 8, 2, [](uint32_t x, auto) {
        return B::bytes({int(x), 0, 0});
    }));
    row.Draw(reduced, Rect{0, 0, 4, 1});
    EXPECT_EQ(reduced.pixels(),
              std::vector<uint32_t>({0xFF000000u, 0xFF030000u, 0xFF060000u, 0xFF090000u}));
}

TEST(Drawing, ClipsRectanglesToTheSurface) {
    TPNGObject png = load(patternRgba(8, 8));
    DrawSurface whole(8, 8, 0xFF000000u), shifted(8, 8, 0xFF000000u);
    png.Draw(whole, Rect{0, 0, 8, 8});
    png.Draw(shifted, Rect{-3, -2, 5, 6});
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(shifted.pixel(x, y), whole.pixel(x + 3, y + 2));
    EXPECT_EQ(shifted.pixel(5, 0), 0xFF000000u);

    DrawSurface inverted(8, 8, 0xFF000000u);
    png.Draw(inverted, Rect{8, 8, 0, 0});
    EXPECT_EQ(inverted.pixels(), whole.pixels());

    DrawSurface untouched(8, 8, 0xFF000000u);
    png.Draw(untouched, Rect{8, 0, 20, 8});
    png.Draw(untouched, Rect{-2000000000, -5, 2000000000, -1});
    png.Draw(untouched, Rect{2, 2, 2, 9});  // no width
    EXPECT_EQ(untouched.pixels(), std::vector<uint32_t>(64, 0xFF000000u));
}

TEST(FadedCopy, DividesAlphaByThreeExceptForPalettes) {
    TPNGObject rgb = load(simplePng(2, 2, 8, 2, [](auto, auto) { return B::bytes({1, 2, 3}); }));
    TPNGObject faded;
    MakeFadedCopy(rgb, faded);
    EXPECT_EQ(faded.Header().ColorType, COLOR_RGBALPHA);
    EXPECT_EQ(faded.ToARGB().pixels, std::vector<uint32_t>(4, 0x55010203u));
    EXPECT_EQ(rgb.Header().ColorType, COLOR_RGB);  // the source stays as it was

    TPNGObject withAlpha = load(patternRgba(5, 3));
    MakeFadedCopy(withAlpha, faded);
    auto before = withAlpha.ToARGB().pixels, after = faded.ToARGB().pixels;
    for (size_t i = 0; i < before.size(); ++i)
        ASSERT_EQ(after[i], ((before[i] >> 24) / 3 << 24) | (before[i] & 0xFFFFFF));

    TPNGObject grey = load(simplePng(
        8, 1, 1, 0, [](uint32_t x, auto) { return x == 0 ? B::bytes({0x80}) : std::string(); }));
    MakeFadedCopy(grey, faded);
    EXPECT_EQ(faded.TransparencyMode(), TPNGTransparencyMode::ptmPartial);
    EXPECT_EQ(faded.ToARGB().pixels[0], 0x55FFFFFFu);
    EXPECT_EQ(faded.ToARGB().pixels[1], 0x55000000u);

    TPNGObject pal = load(simplePng(
        2, 1, 4, 3, [](uint32_t x, auto) { return x == 0 ? B::bytes({0x10}) : std::string(); },
        {{"PLTE", B::bytes({9, 9, 9, 200, 100, 50})}, {"tRNS", B::bytes({0})}}));
    MakeFadedCopy(pal, faded);
    EXPECT_EQ(faded.Find<TChunktRNS>()->DataSize(), 16u);
    EXPECT_EQ(faded.TransparencyMode(), TPNGTransparencyMode::ptmPartial);
    EXPECT_EQ(faded.ToARGB().pixels, std::vector<uint32_t>({0xFFC86432u, 0xFF090909u}));

    TPNGObject empty;
    EXPECT_THROW(MakeFadedCopy(empty, faded), EPNGHeaderNotPresent);
}

TEST(Assign, CopiesChunksAndStorageIndependently) {
    TPNGObject source = load(patternRgba(6, 4));
    TPNGObject copy;
    copy.Assign(&source);
    EXPECT_EQ(chunkNames(copy), chunkNames(source));
    EXPECT_EQ(copy.ToARGB().pixels, source.ToARGB().pixels);
    copy.Header().ImageData()[0] ^= 0xFF;
    copy.Header().ImageAlpha()[0] ^= 0xFF;
    EXPECT_NE(copy.ToARGB().pixels, source.ToARGB().pixels);

    copy.Assign(nullptr);
    EXPECT_TRUE(copy.Empty());
    try {
        source.Header().Assign(*source.FindChunk("IEND"));
        FAIL() << "assigning an IEND chunk to the header";
    } catch (const EPngError& e) {
        EXPECT_STREQ(e.what(), "被分配的块必须兼容");
    }
}

TEST(Chunks, AddingAndResizingCheckTheirArguments) {
    TPNGObject empty;
    try {
        empty.AddChunk("tEXt");
        FAIL();
    } catch (const EPngError& e) {
        EXPECT_STREQ(e.what(), "当前图像是无效, 不能添加新块.");
    }
    TPNGObject png = load(patternRgba(4, 3));
    try {
        png.AddChunk("IHDR");
        FAIL();
    } catch (const EPngError& e) {
        EXPECT_STREQ(e.what(), "不允许添加已经存在的关键块.");
    }
    png.AddChunk("tIME");
    EXPECT_EQ(chunkNames(png), "IHDR IDAT tIME IEND ");

    try {
        png.Resize(0, 3);
        FAIL();
    } catch (const EPNGInvalidNewSize& e) {
        EXPECT_STREQ(e.what(), "调整大小时,指定的新值无效.");
    }
    ARGBImage before = png.ToARGB();
    png.Resize(2, 5);
    ARGBImage after = png.ToARGB();
    ASSERT_EQ(after.width, 2);
    ASSERT_EQ(after.height, 5);
    EXPECT_EQ(after.pixels[2 * 2 + 1], before.pixels[2 * 4 + 1]);  // (1, 2) kept
    EXPECT_EQ(after.pixels[2 * 4], 0u);                            // new rows are zero
}

}  // namespace
