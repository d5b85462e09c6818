// The committed PNG files: the valid corpus against libpng's decoding, the
// crafted malformed files against their exceptions, and the fuzzer's finds.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include <sys/wait.h>

#include "image/pngimage.h"
#include "support/tempdir.h"

using namespace pagelume::image;
namespace fs = std::filesystem;

namespace {

const fs::path kTestDir = fs::path(PAGELUME_SOURCE_DIR) / "tests" / "image";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<fs::path> pngFiles(const fs::path& dir) {
    std::vector<fs::path> files;
    if (fs::exists(dir))
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() == ".png")
                files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

// libpng's reading of a file as 8-bit RGBA: palettes and low depths
// expanded, tRNS turned into alpha, 16-bit samples cut to their high byte.
struct Oracle {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

struct MemoryReader {
    const std::string* data;
    size_t pos;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t n) {
    auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (r->pos + n > r->data->size())
        png_error(png, "read past end");
    std::copy_n(r->data->data() + r->pos, n, out);
    r->pos += n;
}

bool decodeWithLibpng(const std::string& file, Oracle& out) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemoryReader reader{&file, 0};
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, readFromMemory);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    out.width = png_get_image_width(png, info);
    out.height = png_get_image_height(png, info);
    out.rgba.assign(size_t{out.width} * out.height * 4, 0);
    for (uint32_t y = 0; y < out.height; ++y)
        rows.push_back(out.rgba.data() + size_t{y} * out.width * 4);
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

class CorpusFile : public ::testing::TestWithParam<fs::path> {};

TEST_P(CorpusFile, DrawsOverWhiteLikeLibpng) {
    const std::string file = readFile(GetParam());
    Oracle oracle;
    ASSERT_TRUE(decodeWithLibpng(file, oracle)) << "libpng rejects the corpus file";

    TPNGObject png;
    png.LoadFromFile(GetParam().string());
    ASSERT_EQ(png.Width(), static_cast<int>(oracle.width));
    ASSERT_EQ(png.Height(), static_cast<int>(oracle.height));
    DrawSurface surface(png.Width(), png.Height(), 0xFFFFFFFFu);
    png.Draw(surface, Rect{0, 0, png.Width(), png.Height()});
    ARGBImage argb = png.ToARGB();

    int worst = 0, argbMismatches = 0;
    for (uint32_t i = 0; i < oracle.width * oracle.height; ++i) {
        const uint8_t* o = &oracle.rgba[4 * i];
        uint32_t drawn = surface.pixels()[i];
        for (int c = 0; c < 3; ++c) {
            double over = (o[c] * o[3] + 255.0 * (255 - o[3])) / 255.0;
            int ours = (drawn >> (16 - 8 * c)) & 0xFF;
            worst = std::max(worst, static_cast<int>(std::abs(ours - std::lround(over))));
        }
        // Unblended, the pixels and their alpha must agree exactly.
        uint32_t expected =
            (uint32_t{o[3]} << 24) | (uint32_t{o[0]} << 16) | (uint32_t{o[1]} << 8) | o[2];
        uint32_t got = argb.pixels[i];
        if (o[3] == 0 ? (got >> 24) != 0 : got != expected)
            ++argbMismatches;
    }
    EXPECT_LE(worst, 1);
    EXPECT_EQ(argbMismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusFile, ::testing::ValuesIn(pngFiles(kTestDir / "corpus")),
                         [](const auto& info) { return info.param.stem().string(); });

TEST(CorpusFiles, CoverEveryColourTypeAndDepth) {
    EXPECT_GE(pngFiles(kTestDir / "corpus").size(), 120u);
}

// The messages as the program shows them, written out independently of the
// message unit.
const std::map<std::string, std::string> kMessages = {
    {"EPNGInvalidFileHeader", "不是一个有效的PNG图像, 因为它包含无效文件头. 这个文件可能被损坏."},
    {"EPngUnexpectedEnd", "PNG图像是无效的, 文件异常结束."},
    {"EPNGIHDRNotFirst", "不支持的或无效的PNG图像.\r\n(IHDR块不在开始位置)"},
    {"EPNGUnknownCriticalChunk", "PNG图像包含有未知的组成部分，不能解码。"},
    {"EPNGNoImageData", "PNG图像未包含有效数据."},
    {"EPngInvalidCRC", "PNG图像无效, 包含有无效数据片段(CRC错误)"},
    {"EPngInvalidIHDR", "不能加载PNG图像, 其数据（IHDR）可能被损坏"},
    {"EPNGSizeExceeds", "不支持的PNG图像，因为其宽度或高度超过了最大(65535像素)限制。"},
    {"EPNGUnknownCompression", "PNG图像使用了未知的压缩方式, 无法解码。"},
    {"EPNGUnknownInterlace", "PNG图像使用了未知的隔行扫描方式, 无法解码"},
    {"EPNGInvalidPalette", "PNG图像包含一个无效的调色板."},
    {"EPNGMissingMultipleIDAT", "PNG图像无效, 可能缺少部分图像"},
    {"EPNGZLIBError", "无法解压缩，因为它包含无效的数据.\r\n 描述: data error (-3)"},
    {"EPNGOutMemory", "系统资源不足,操作无法执行.请关闭一些窗口,然后再试."},
    {"EPngError", "不存在的调色板入口"},
};

std::pair<std::string, std::string> failureOf(const std::function<void()>& load) {
    try {
        load();
    } catch (const pagelume::Exception& e) {
        return {e.className(), e.what()};
    }
    return {"(none)", ""};
}

class MalformedFile : public ::testing::TestWithParam<fs::path> {};

TEST_P(MalformedFile, RaisesItsExceptionFromFileAndFromMemory) {
    const std::string stem = GetParam().stem().string();
    const std::string expected = stem.substr(0, stem.find("__"));
    const std::string bytes = readFile(GetParam());
    TPNGObject png;
    auto fromFile = failureOf([&] { png.LoadFromFile(GetParam().string()); });
    EXPECT_EQ(fromFile.first, expected);
    EXPECT_EQ(fromFile.second, kMessages.at(expected));
    auto fromMemory = failureOf([&] { png.LoadFromMemory(bytes.data(), bytes.size()); });
    EXPECT_EQ(fromMemory, fromFile);
}

INSTANTIATE_TEST_SUITE_P(Malformed, MalformedFile,
                         ::testing::ValuesIn(pngFiles(kTestDir / "malformed")),
                         [](const auto& info) { return info.param.stem().string(); });

TEST(MalformedFiles, CoverEveryLoadingException) {
    std::set<std::string> seen;
    for (const auto& f : pngFiles(kTestDir / "malformed")) {
        std::string stem = f.stem().string();
        seen.insert(stem.substr(0, stem.find("__")));
    }
    for (const auto& [name, message] : kMessages)
        EXPECT_TRUE(seen.count(name)) << name;
}

// Files the fuzzer once crashed on: they load or fail with an exception of
// ours, and whatever was loaded draws.
TEST(FuzzRegressions, LoadAndDrawSafely) {
    auto files = pngFiles(kTestDir / "regressions");
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        const std::string bytes = readFile(f);
        TPNGObject png;
        try {
            png.LoadFromMemory(bytes.data(), bytes.size());
        } catch (const pagelume::Exception&) {
        }
        DrawSurface surface(31, 23);
        png.Draw(surface, Rect{-3, -3, 40, 17});
        if (!png.Empty() && int64_t{png.Width()} * png.Height() <= (1 << 20)) {
            TPNGObject faded;
            EXPECT_NO_THROW(MakeFadedCopy(png, faded)) << "partial images fade too";
            faded.Draw(surface, Rect{0, 0, 31, 23});
        }
    }
}

// The command-line tool: PPM output and the failure report.
std::string run(const pagelume::test::TempDir& dir, const std::string& args, int* status) {
    const std::string err = dir / "stderr";
    std::string command = std::string(PAGELUME_BINARY_DIR) + "/pngdraw " + args + " 2>" + err;
    *status = WEXITSTATUS(std::system(command.c_str()));
    return readFile(err);
}

TEST(Pngdraw, WritesThePictureAsPpmAtItsSizeOrStretched) {
    pagelume::test::TempDir dir;
    const std::string out = dir / "out.ppm";
    const std::string in = (kTestDir / "corpus" / "ct6_d8_plain_33x17.png").string();
    int status = -1;
    run(dir, in + " " + out, &status);
    ASSERT_EQ(status, 0);
    std::string ppm = readFile(out);
    ASSERT_EQ(ppm.rfind("P6\n33 17\n255\n", 0), 0u);
    EXPECT_EQ(ppm.size(), 13 + 33 * 17 * 3u);

    TPNGObject png;
    png.LoadFromFile(in);
    DrawSurface surface(33, 17);
    png.Draw(surface, Rect{0, 0, 33, 17});
    uint32_t last = surface.pixel(32, 16);
    EXPECT_EQ(static_cast<uint8_t>(ppm[ppm.size() - 3]), (last >> 16) & 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(ppm.back()), last & 0xFF);

    run(dir, in + " " + out + " 66 5", &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(readFile(out).rfind("P6\n66 5\n255\n", 0), 0u);
}

// The tool draws a tall picture in bands of rows; the result must be the
// whole-surface drawing, pixel for pixel, across every band boundary.
TEST(Pngdraw, ABandedDrawingIsTheWholeSurfaceDrawing) {
    pagelume::test::TempDir dir;
    const std::string out = dir / "tall.ppm";
    const std::string in = (kTestDir / "corpus" / "ct6_d8_adam7_33x17.png").string();
    for (auto [w, h] : {std::pair{33, 17}, std::pair{41, 4099}, std::pair{7000, 29}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        int status = -1;
        run(dir, in + " " + out + " " + std::to_string(w) + " " + std::to_string(h), &status);
        ASSERT_EQ(status, 0);
        const std::string header = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        const std::string ppm = readFile(out);
        ASSERT_EQ(ppm.size(), header.size() + size_t(w) * h * 3);
        ASSERT_EQ(ppm.substr(0, header.size()), header);

        TPNGObject png;
        png.LoadFromFile(in);
        DrawSurface surface(w, h);
        png.Draw(surface, Rect{0, 0, w, h});
        std::string expected = header;
        for (uint32_t p : surface.pixels())
            expected +=
                {static_cast<char>(p >> 16), static_cast<char>(p >> 8), static_cast<char>(p)};
        EXPECT_TRUE(ppm == expected) << "the PPM differs from the whole-surface drawing";
    }
}

TEST(Pngdraw, ReportsClassAndMessageAndExitsWith1) {
    pagelume::test::TempDir dir;
    int status = -1;
    std::string err = run(dir,
                          (kTestDir / "malformed" / "EPNGInvalidFileHeader__jpeg.png").string() +
                              " " + (dir / "fail.ppm"),
                          &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "EPNGInvalidFileHeader: " + kMessages.at("EPNGInvalidFileHeader") + "\n");
    run(dir, "only-one-argument", &status);
    EXPECT_EQ(status, 2);
}

}  // namespace
