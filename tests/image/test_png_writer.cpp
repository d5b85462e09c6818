#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <map>
#include <random>

#include "image/png_writer.h"
#include "image/pngimage.h"

namespace pagelume::image {
namespace {

// A picture with smooth parts (filters pay off), noise (they do not) and
// alpha in every value.
DrawSurface testPicture(int w, int h) {
    DrawSurface s(w, h);
    std::mt19937 random(7);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t noise = random();
            const uint32_t a = static_cast<uint32_t>((x * 7 + y * 3) & 0xFF);
            const uint32_t rgb = x < w / 2 ? static_cast<uint32_t>((x * 255 / w) << 16 | (y & 0xFF) << 8 | 0x40)
                                           : (noise & 0xFFFFFF);
            s.setPixel(x, y, a << 24 | rgb);
        }
    return s;
}

struct LibpngResult {
    bool ok = false;
    int width = 0, height = 0, colourType = -1;
    std::vector<uint8_t> samples;
    std::map<std::string, std::string> texts;
};

struct Reader {
    const std::string* data;
    std::size_t pos;
};

void readBytes(png_structp png, png_bytep out, png_size_t n) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (r->pos + n > r->data->size())
        png_error(png, "read past end");
    std::copy_n(r->data->data() + r->pos, n, out);
    r->pos += n;
}

// libpng reads the file as it is: its samples and its text chunks. CRC and
// zlib errors make it fail.
LibpngResult readWithLibpng(const std::string& file) {
    LibpngResult out;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Reader reader{&file, 0};
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return out;
    }
    png_set_read_fn(png, &reader, readBytes);
    png_read_info(png, info);
    out.width = static_cast<int>(png_get_image_width(png, info));
    out.height = static_cast<int>(png_get_image_height(png, info));
    out.colourType = png_get_color_type(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    out.samples.assign(rowBytes * static_cast<std::size_t>(out.height), 0);
    for (int y = 0; y < out.height; ++y)
        rows.push_back(out.samples.data() + rowBytes * static_cast<std::size_t>(y));
    png_read_image(png, rows.data());
    png_read_end(png, info);
    png_textp text = nullptr;
    int count = 0;
    png_get_text(png, info, &text, &count);
    for (int i = 0; i < count; ++i)
        out.texts[text[i].key] = std::string(text[i].text, text[i].text_length);
    png_destroy_read_struct(&png, &info, nullptr);
    out.ok = true;
    return out;
}

TEST(PngWriter, RoundTripsThroughOurDecoderAndLibpng) {
    for (const bool alpha : {true, false}) {
        for (const auto& [w, h] : {std::pair{1, 1}, {37, 5}, {256, 181}}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + (alpha ? " RGBA" : " RGB"));
            const DrawSurface picture = testPicture(w, h);
            const std::string file =
                encodePng(picture, alpha, {{"Thumb::URI", "file:///a%20b.png"}, {"Thumb::MTime", "17"}});

            TPNGObject ours;
            ours.LoadFromMemory(file.data(), file.size());
            const ARGBImage argb = ours.ToARGB();
            ASSERT_EQ(argb.width, w);
            ASSERT_EQ(argb.height, h);
            std::map<std::string, std::string> texts;
            for (const auto& c : ours.Chunks())
                if (const auto* t = dynamic_cast<const TChunktEXt*>(c.get()))
                    texts[t->Keyword] = t->Text;
            EXPECT_EQ(texts["Thumb::URI"], "file:///a%20b.png");
            EXPECT_EQ(texts["Thumb::MTime"], "17");

            const LibpngResult theirs = readWithLibpng(file);
            ASSERT_TRUE(theirs.ok);
            EXPECT_EQ(theirs.colourType, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB);
            EXPECT_EQ(theirs.texts, texts);
            const int bpp = alpha ? 4 : 3;
            int wrong = 0;
            for (int i = 0; i < w * h; ++i) {
                const uint32_t p = picture.pixels()[static_cast<std::size_t>(i)];
                const uint32_t want = alpha ? p : (p | 0xFF000000u);
                const uint8_t* s = &theirs.samples[static_cast<std::size_t>(i * bpp)];
                const uint32_t got = (alpha ? uint32_t{s[3]} : 0xFFu) << 24 | uint32_t{s[0]} << 16 |
                                     uint32_t{s[1]} << 8 | s[2];
                wrong += got != want;
                wrong += argb.pixels[static_cast<std::size_t>(i)] != want;
            }
            EXPECT_EQ(wrong, 0);
        }
    }
}

TEST(PngWriter, RefusesWhatNoReaderCouldTakeBack) {
    EXPECT_THROW(encodePng(DrawSurface(), false), Exception);
    const DrawSurface one(1, 1);
    EXPECT_THROW(encodePng(one, false, {{"", "x"}}), Exception);
    EXPECT_THROW(encodePng(one, false, {{std::string(80, 'k'), "x"}}), Exception);
    EXPECT_THROW(encodePng(one, false, {{"Key", std::string("a\0b", 3)}}), Exception);
}

}  // namespace
}  // namespace pagelume::image
