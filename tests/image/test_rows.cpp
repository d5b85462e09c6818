// Rows decoded one at a time, as the page preview takes them: the same
// pixels as the whole image, for every colour type, depth, transparency,
// interlacing and chunk layout of the corpus, and the same failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/pngimage.h"

using namespace pagelume::image;

namespace {

std::string bytesOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(DecodeRows, EveryRowAsTheWholeImageHasItAndFailuresAlike) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(PAGELUME_SOURCE_DIR "/tests/image/corpus")) {
        SCOPED_TRACE(entry.path().filename().string());
        const std::string bytes = bytesOf(entry.path());
        TPNGObject whole;
        whole.LoadFromMemory(bytes.data(), bytes.size());
        const ARGBImage expected = whole.ToARGB();
        int width = -1, height = -1;
        std::vector<uint32_t> got;
        uint32_t next = 0;
        DecodeRows(
            bytes.data(), bytes.size(), [&](int w, int h) { width = w, height = h; },
            [&](uint32_t y, const uint32_t* row) {
                EXPECT_EQ(y, next++) << "top to bottom";
                got.insert(got.end(), row, row + width);
            });
        EXPECT_EQ(width, expected.width);
        EXPECT_EQ(height, expected.height);
        EXPECT_TRUE(got == expected.pixels);
        ++files;
    }
    EXPECT_GT(files, 100);

    for (const auto& entry : std::filesystem::directory_iterator(PAGELUME_SOURCE_DIR "/tests/image/malformed")) {
        SCOPED_TRACE(entry.path().filename().string());
        const std::string bytes = bytesOf(entry.path());
        std::string wholeError, rowsError;
        try {
            TPNGObject whole;
            whole.LoadFromMemory(bytes.data(), bytes.size());
        } catch (const EPngError& e) {
            wholeError = std::string(e.className()) + e.what();
        }
        try {
            DecodeRows(bytes.data(), bytes.size(), [](int, int) {}, [](uint32_t, const uint32_t*) {});
        } catch (const EPngError& e) {
            rowsError = std::string(e.className()) + e.what();
        }
        EXPECT_EQ(rowsError, wholeError);
    }
}

}  // namespace
