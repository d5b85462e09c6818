#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "image/image_size.h"
#include "support/tempdir.h"

namespace pagelume::image {
namespace {

using test::readFile;

bool haveConvert() {
    return std::system("command -v convert >/dev/null 2>&1") == 0;
}

// An image made by ImageMagick: an outside writer decides what the header says.
std::string makeImage(const test::TempDir& dir, const std::string& name, const std::string& args) {
    const std::string path = dir / name;
    const std::string command = "convert " + args + " '" + path + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

TEST(ImageSize, ReadsWhatImageMagickWrote) {
    if (!haveConvert())
        GTEST_SKIP() << "ImageMagick is not installed";
    test::TempDir dir;
    struct Case {
        const char* name;
        const char* args;
        PixelSize size;
    } cases[] = {
        {"a.png", "-size 37x91 xc:red", {37, 91}},
        {"b.png", "-size 1x1 xc:gray -depth 16", {1, 1}},
        {"c.jpg", "-size 640x480 plasma:", {640, 480}},
        {"d.jpg", "-size 300x1200 xc:blue -interlace JPEG", {300, 1200}},  // progressive: SOF2
        // A large comment segment before the frame header is stepped over.
        {"e.jpg", "-size 23x17 xc:white -set comment \"$(head -c 60000 /dev/zero | tr '\\0' x)\"",
         {23, 17}},
        {"f.gif", "-size 513x2 xc:green", {513, 2}},
        {"g.gif", "-size 80x60 xc:none -page 100x90+0+0", {100, 90}},  // the logical screen
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = makeImage(dir, c.name, c.args);
        EXPECT_EQ(readImageSize(path), c.size);
        EXPECT_EQ(imageSize(readFile(path)), c.size);
    }
}

TEST(ImageSize, RefusesWhatStatesNoSize) {
    test::TempDir dir;
    const std::string png(reinterpret_cast<const char*>("\x89PNG\r\n\x1A\n"), 8);
    const auto ihdr = [&](const std::string& w, const std::string& h) {
        return png + std::string("\0\0\0\x0DIHDR", 8) + w + h + std::string("\x08\x06\0\0\0", 5);
    };
    EXPECT_EQ(imageSize(ihdr(std::string("\0\0\0\x05", 4), std::string("\0\0\0\x07", 4))),
              (PixelSize{5, 7}));
    EXPECT_FALSE(imageSize(ihdr(std::string("\0\0\0\0", 4), std::string("\0\0\0\x07", 4))));
    EXPECT_FALSE(imageSize(ihdr("\x80\0\0\x01", std::string("\0\0\0\x07", 4))));
    EXPECT_FALSE(imageSize(png + std::string("\0\0\0\x0DIDAT", 8) + std::string(17, '\x01')));
    EXPECT_FALSE(imageSize(std::string("GIF89a\0\0\x05\0", 10)));
    EXPECT_FALSE(imageSize("GIF90a\x05\0\x05\0"));
    // A frame header of height 0 (given later, by DNL) and a scan before any frame.
    EXPECT_FALSE(imageSize(std::string("\xFF\xD8\xFF\xC0\0\x11\x08\0\0\0\x10\x03", 12)));
    EXPECT_FALSE(imageSize(std::string("\xFF\xD8\xFF\xDA\0\x08", 6)));
    // Endless fill bytes and endless empty segments end, unread.
    EXPECT_FALSE(imageSize("\xFF\xD8" + std::string(100000, '\xFF')));
    std::string segments = "\xFF\xD8";
    for (int i = 0; i < 5000; ++i)
        segments += std::string("\xFF\xE1\0\x02", 4);
    EXPECT_FALSE(imageSize(segments + std::string("\xFF\xC0\0\x11\x08\0\x10\0\x10\x03", 10)));
    EXPECT_FALSE(imageSize(""));
    EXPECT_FALSE(imageSize("text that is no image"));
    EXPECT_FALSE(readImageSize(dir / "missing.png"));
    EXPECT_FALSE(readImageSize(dir.path()));
}

// Every prefix and a few thousand damaged copies of real files: a size or
// nothing, never a read out of bounds (the sanitizers watch).
TEST(ImageSize, CutAndDamagedHeadersNeverReadOutOfBounds) {
    if (!haveConvert())
        GTEST_SKIP() << "ImageMagick is not installed";
    test::TempDir dir;
    std::mt19937 random(18);
    for (const char* name : {"s.png", "s.jpg", "s.gif"}) {
        const std::string bytes = readFile(makeImage(dir, name, "-size 31x29 plasma:"));
        ASSERT_EQ(imageSize(bytes), (PixelSize{31, 29})) << name;
        const std::size_t head = std::min<std::size_t>(bytes.size(), 1024);
        for (std::size_t n = 0; n < head; ++n) {
            const auto size = imageSize(std::string_view(bytes).substr(0, n));
            EXPECT_TRUE(!size || *size == (PixelSize{31, 29})) << name << " cut at " << n;
        }
        for (int i = 0; i < 3000; ++i) {
            std::string damaged = bytes.substr(0, head);
            for (int k = 0; k < 4; ++k)
                damaged[random() % head] = static_cast<char>(random());
            const auto size = imageSize(damaged);
            if (size) {
                EXPECT_TRUE(size->width > 0 && size->height > 0);
            }
        }
    }
}

}  // namespace
}  // namespace pagelume::image
