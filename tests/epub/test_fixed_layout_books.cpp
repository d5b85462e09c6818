#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "book_tools.h"
#include "epub/conversion_run.h"
#include "fake_book.h"
#include "support/pngwrite.h"
#include "support/tempdir.h"

namespace pagelume::epub {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

struct Page {
    std::string name;  // its extension decides the format
    uint32_t colour;
    int width = 60, height = 90;
};

// Fixed-layout books made from solid pages, read back by epubcheck and mupdf.
class FixedLayoutBooks : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have("convert"))
            GTEST_SKIP() << "ImageMagick is not installed";
        test::installContainerFiles(dir / "epubfiles");
    }

    // Each page in a folder of its own, so that names may repeat.
    std::string build(const std::vector<Page>& pages, const std::optional<Page>& cover,
                      bool rightToLeft, const std::string& title) {
        test::FakeBook book;
        const auto add = [&](const Page& p) {
            const std::string folder = dir / ("in/" + std::to_string(++folders_));
            std::filesystem::create_directories(folder);
            char colour[8];
            std::snprintf(colour, sizeof colour, "#%06X", p.colour);
            const std::string path = folder + "/" + p.name;
            const std::string command = "convert -size " + std::to_string(p.width) + "x" +
                                        std::to_string(p.height) + " 'xc:" + colour + "' '" +
                                        std::filesystem::path(path).extension().string().substr(1) +
                                        ":" + path + "'";
            EXPECT_EQ(run(command).first, 0) << command;
            return path;
        };
        for (const Page& p : pages)
            book.pages.push_back(add(p));
        if (cover)
            book.cover = add(*cover);
        book.bookKind = BookKind::FixedLayout;
        book.rtl = rightToLeft;
        book.titleText = title;
        book.save = dir / "out";
        test::FakeHost host;
        ConversionRun r(book, host, dir / "epubfiles");
        EXPECT_EQ(r.run(), RunResult::Built);
        for (const auto& m : host.messages)
            if (m.caption != "Congratulation")
                ADD_FAILURE() << m.text;
        return r.outputPath();
    }

    static void expectClean(const std::string& book) {
        const EpubcheckReport report = epubcheck(book);
        if (!report.ran)
            GTEST_SKIP() << "epubcheck is not installed";
        EXPECT_NE(report.text.find("Validating using EPUB version 3"), std::string::npos)
            << report.text;
        EXPECT_NE(report.text.find("No errors or warnings detected."), std::string::npos)
            << report.text;
    }

    TempDir dir;
    int folders_ = 0;
};

constexpr uint32_t kColours[] = {0xE6194B, 0x3CB44B, 0xFFE119, 0x4363D8, 0xF58231, 0x911EB4,
                                 0x46F0F0, 0xF032E6, 0xBCF60C, 0x008080, 0x9A6324, 0x800000};

// PNG, JPEG and GIF pages under the names the strict tests find awkward, a
// landscape spread among them, left to right with a cover: epubcheck finds
// nothing, and mupdf shows every page whole, in order, without a margin.
TEST_F(FixedLayoutBooks, MixedPagesPassEpubcheckAndFillTheirScreens) {
    const char* names[] = {"p1.png",    "p1.jpg",       "r&d.gif",        "issue#2.png",
                           "100%.jpg",  "caf\xC3\xA9.png", "two words.gif", "what?.png",
                           "p1.png",    "q\"uote.jpg",  "\xE5\x9B\xBE.png", "last.gif"};
    std::vector<Page> pages;
    for (int i = 0; i < 12; ++i)
        pages.push_back({names[i], kColours[i], 60, 90});
    pages[5].width = 180;  // a spread
    const std::string book =
        build(pages, Page{"p1.png", 0x101010, 60, 90}, false, "Tom & J\xC3\xA9r\xC3\xB4me #1 <b>");
    expectClean(book);

    if (!have("mutool"))
        GTEST_SKIP() << "mupdf is not installed";
    const std::string shots = dir / "render";
    std::filesystem::create_directories(shots);
    const auto [status, text] =
        run("mutool draw -q -F pnm -c rgb -r 72 -o '" + shots + "/p%d.pnm' '" + book + "'");
    ASSERT_EQ(status, 0) << text;
    std::vector<uint32_t> expected = {0x101010};
    for (const Page& p : pages)
        expected.push_back(p.colour);
    for (std::size_t n = 1; n <= expected.size(); ++n) {
        SCOPED_TRACE("page " + std::to_string(n));
        const std::string ppm = readFile(shots + "/p" + std::to_string(n) + ".pnm");
        ASSERT_FALSE(ppm.empty());
        const uint32_t shown = dominantColour(ppm);
        // JPEG moves a solid colour by a step or two.
        for (int shift : {16, 8, 0})
            EXPECT_NEAR(int(shown >> shift & 0xFF), int(expected[n - 1] >> shift & 0xFF), 4);
        std::size_t white = 0;
        for (std::size_t i = ppm.size() - 3; i > ppm.size() - 3 * 200; i -= 3)
            white += ppm.compare(i, 3, "\xFF\xFF\xFF") == 0;
        EXPECT_EQ(white, 0u) << "no margin at the page's foot";
    }
    EXPECT_FALSE(std::filesystem::exists(shots + "/p" + std::to_string(expected.size() + 1) + ".pnm"));
}

// Right to left, one page without a cover, and five hundred pages with one:
// the smallest and a long book pass too.
TEST_F(FixedLayoutBooks, OnePageAndFiveHundredPagesRightToLeftPassEpubcheck) {
    expectClean(build({{"only.jpg", 0x123456, 80, 60}}, std::nullopt, true, "One"));
    std::filesystem::remove_all(dir / "in");
    std::vector<Page> pages;
    for (int i = 0; i < 500; ++i)
        pages.push_back({"page" + std::to_string(i) + (i % 3 == 0 ? ".png" : i % 3 == 1 ? ".jpg" : ".gif"),
                         kColours[i % 12], i % 50 == 7 ? 40 : 20, 30});
    const std::string book = build(pages, Page{"cover.png", 0x000000, 20, 30}, true, "Many");
    expectClean(book);
    const auto [status, opf] = run("unzip -p '" + book + "' OEBPS/fb.opf");
    EXPECT_NE(opf.find("<meta name=\"original-resolution\" content=\"40x30\"/>"), std::string::npos);
    EXPECT_NE(opf.find("page-progression-direction=\"rtl\""), std::string::npos);
    EXPECT_NE(opf.find("content=\"horizontal-rl\""), std::string::npos);
}

// A page whose header states no size stops the run before the save path is
// touched, naming the page, as a page that is no image does.
TEST(FixedLayoutRun, APageWithoutAReadableSizeStopsTheBook) {
    TempDir dir;
    test::installContainerFiles(dir / "epubfiles");
    writeFile(dir / "in/a.png", test::makePng(30, 40, [](int, int) { return 0xFF0000FFu; }));
    writeFile(dir / "in/b.jpg", std::string("\xFF\xD8\xFF\xDA\0\x08", 6) + std::string(100, 'x'));
    test::FakeBook book;
    book.pages = {dir / "in/a.png", dir / "in/b.jpg"};
    book.bookKind = BookKind::FixedLayout;
    book.save = dir / "out";
    test::FakeHost host;
    ConversionRun r(book, host, dir / "epubfiles");
    EXPECT_EQ(r.run(), RunResult::Stopped);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              "Page 2: the size of its image cannot be read: " + (dir / "in/b.jpg"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out"));
    // The readable page has its document, with the size from the copy.
    EXPECT_NE(readFile(dir / "epubfiles/OEBPS/page1.xhtml")
                  .find("<meta name=\"viewport\" content=\"width=30, height=40\"/>"),
              std::string::npos);
}

}  // namespace
}  // namespace pagelume::epub
