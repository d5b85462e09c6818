#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "book_tools.h"
#include "fixed_layout_books.h"
#include "epub/conversion_run.h"
#include "fake_book.h"
#include "support/pngwrite.h"
#include "support/tempdir.h"

namespace pagelume::epub {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

constexpr uint32_t kColours[] = {0xE6194B, 0x3CB44B, 0xFFE119, 0x4363D8, 0xF58231, 0x911EB4,
                                 0x46F0F0, 0xF032E6, 0xBCF60C, 0x008080, 0x9A6324, 0x800000};

// PNG, JPEG and GIF pages under the names the strict tests find awkward, a
// landscape spread among them, left to right with a cover: epubcheck finds
// nothing, and mupdf, which lays every page out as it would a reflowable
// one, shows each on a screen of its own, in order.
TEST_F(FixedLayoutBooks, MixedPagesPassEpubcheckAndMupdfShowsEveryPage) {
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
    }
    EXPECT_FALSE(std::filesystem::exists(shots + "/p" + std::to_string(expected.size() + 1) + ".pnm"));
}

// Right to left, one page and no cover: the smallest book passes too.
TEST_F(FixedLayoutBooks, OnePageRightToLeftWithoutACoverPassesEpubcheck) {
    expectClean(build({{"only.jpg", 0x123456, 80, 60}}, std::nullopt, true, "One"));
}

// Chapters and details in a fixed-layout and a strict book: epubcheck finds
// nothing in either, mupdf's contents open each chapter at its first page
// with its pages under it, and calibre reads the series and the language.
TEST_F(FixedLayoutBooks, ChaptersAndDetailsPassEpubcheckAndReadersShowThem) {
    std::vector<Page> pages;
    for (int i = 0; i < 5; ++i)
        pages.push_back({"p" + std::to_string(i) + ".png", kColours[i], 60, 90});
    const auto withChapters = [](BookKind kind) {
        return [kind](test::FakeBook& book) {
            book.bookKind = kind;
            book.chapters = {"", "One & Only", "", "Two <b>", ""};
            book.bookDetails = {"ja", "Saga \"X\"", "2.5", "A story & more"};
        };
    };
    const std::string fixed = build(pages, Page{"c.png", 0x101010}, true, "Fixed",
                                    withChapters(BookKind::FixedLayout));
    expectClean(fixed);
    const std::string strict =
        build(pages, std::nullopt, false, "Strict", withChapters(BookKind::Strict));
    const EpubcheckReport report = epubcheck(strict);
    EXPECT_NE(report.text.find("No errors or warnings detected."), std::string::npos) << report.text;

    if (!have("mutool"))
        GTEST_SKIP() << "mupdf is not installed";
    const auto contents = [](const std::string& book) {
        const std::string script = PAGELUME_SOURCE_DIR "/tests/epub/scripts/outline.js";
        std::string shown = run("mutool run '" + script + "' '" + book + "'").second;
        // mupdf's own remarks ("unknown epub version") are not contents.
        while (shown.starts_with("warning:"))
            shown.erase(0, shown.find('\n') + 1);
        return shown;
    };
    // The cover is the first document of the fixed-layout book.
    EXPECT_EQ(contents(fixed),
              "Cover @0\nPage 1 @1\nOne & Only @2\n  Page 2 @2\n  Page 3 @3\n"
              "Two <b> @4\n  Page 4 @4\n  Page 5 @5\n");
    EXPECT_EQ(contents(strict),
              "Page 1 @0\nOne & Only @1\n  Page 2 @1\n  Page 3 @2\nTwo <b> @3\n  Page 4 @3\n"
              "  Page 5 @4\n");

    if (!have("ebook-meta"))
        GTEST_SKIP() << "calibre is not installed";
    for (const std::string& book : {fixed, strict}) {
        const std::string meta = run("ebook-meta '" + book + "'").second;
        EXPECT_NE(meta.find("Saga \"X\" #2.5"), std::string::npos) << meta;
        EXPECT_NE(meta.find("jpn"), std::string::npos) << meta;
        EXPECT_NE(meta.find("A story & more"), std::string::npos) << meta;
    }
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
