#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "epub/conversion_run.h"
#include "book_tools.h"
#include "fake_book.h"
#include "support/pngwrite.h"
#include "support/tempdir.h"

namespace pagelume::epub {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// A whole conversion, read back by programs that nobody here wrote.
class BookReadersTest : public ::testing::Test {
protected:
    BookReadersTest() {
        test::installContainerFiles(dir / "epubfiles");
        for (int i = 1; i <= 3; ++i)
            writeFile(dir / ("in/p" + std::to_string(i) + ".png"),
                      test::makePng(40, 60, [i](int x, int y) { return 0xFF000000u | uint32_t(x * y * i); }));
        book.pages = {dir / "in/p1.png", dir / "in/p2.png", dir / "in/p3.png"};
        book.cover = dir / "in/p1.png";
        book.titleText = "Read Me & Weep";
        book.authorText = "A. N. \xC3\x96ther";
        book.save = dir / "out";
        ConversionRun r(book, host, dir / "epubfiles");
        result = r.run();
        epub = dir / "out/Read Me & Weep.epub";
    }

    TempDir dir;
    test::FakeBook book;
    test::FakeHost host;
    RunResult result;
    std::string epub;
};

TEST_F(BookReadersTest, MimetypeComesFirstAndStored) {
    ASSERT_EQ(result, RunResult::Built);
    const std::string bytes = readFile(epub);
    ASSERT_GT(bytes.size(), 58u);
    EXPECT_EQ(bytes.substr(0, 4), "PK\x03\x04");
    EXPECT_EQ(bytes[8], 0) << "method: stored";
    EXPECT_EQ(bytes[28], 0) << "no extra field";
    EXPECT_EQ(bytes.substr(30, 8), "mimetype");
    EXPECT_EQ(bytes.substr(38, 20), "application/epub+zip");
}

TEST_F(BookReadersTest, ArchiveToolsAcceptTheBook) {
    ASSERT_EQ(result, RunResult::Built);
    if (!have("unzip")) GTEST_SKIP() << "unzip is not installed";
    const auto [status, listing] = run("unzip -t '" + epub + "'");
    EXPECT_EQ(status, 0) << listing;
    for (const char* name : {"mimetype", "META-INF/container.xml", "OEBPS/fb.opf", "OEBPS/fb.ncx",
                             "OEBPS/cover.html", "OEBPS/page3.html", "OEBPS/p3.png"})
        EXPECT_NE(listing.find(name), std::string::npos) << name;
    EXPECT_EQ(listing.find(".pagelume.lock"), std::string::npos) << "the lock file stays out";
}

TEST_F(BookReadersTest, EpubcheckFindsOnlyWhatTheFixedShapesImply) {
    ASSERT_EQ(result, RunResult::Built);
    const EpubcheckReport report = epubcheck(epub);
    if (!report.ran)
        GTEST_SKIP() << "epubcheck is not installed";
    EXPECT_NE(report.text.find("Validating using EPUB version 2.0.1 rules."), std::string::npos);
    // The short date, the empty identifier that "BookId" does not name, the
    // guide pointing at the cover image listed as JPEG, and pages without a
    // title or alternative texts. Anything new is a fault.
    EXPECT_EQ(report.kinds, (std::set<std::string>{"ERROR(OPF-029)", "ERROR(OPF-030)",
                                                   "ERROR(OPF-032)", "ERROR(OPF-054)",
                                                   "ERROR(RSC-005)"}))
        << report.text;
}

// Books whose pages are solid colours, to see which page a reader shows where.
class ReaderBooks : public ::testing::Test {
public:
    struct Page {
        std::string name;
        uint32_t colour;
        int width = 60, height = 90;
    };

protected:
    // Builds the book with the given pages (in folders of their own, so that
    // names may repeat) and cover; returns its path.
    std::string build(const std::vector<Page>& pages, const std::optional<Page>& cover, bool strict,
                      const std::string& title) {
        test::installContainerFiles(dir / "epubfiles");
        test::FakeBook book;
        int folder = 0;
        auto add = [&](const Page& p) {
            const std::string path = dir / ("in/" + std::to_string(++folder) + "/" + p.name);
            const uint32_t c = p.colour;
            writeFile(path, test::makePng(p.width, p.height,
                                          [c](int, int) { return 0xFF000000u | c; }, false));
            return path;
        };
        for (const Page& p : pages)
            book.pages.push_back(add(p));
        if (cover)
            book.cover = add(*cover);
        book.bookKind = strict ? BookKind::Strict : BookKind::Default;
        book.titleText = title;
        book.save = dir / "out";
        test::FakeHost host;
        ConversionRun r(book, host, dir / "epubfiles");
        EXPECT_EQ(r.run(), RunResult::Built);
        return r.outputPath();
    }

    // The colour of every page mupdf lays the book out on, in order: the
    // colour most pixels have that are not white. Empty when mupdf is missing.
    std::vector<uint32_t> renderedColours(const std::string& book) {
        std::vector<uint32_t> out;
        if (!have("mutool"))
            return out;
        const std::string pages = dir / "render";
        std::filesystem::create_directories(pages);
        const auto [status, text] = run("mutool draw -q -F pnm -c rgb -W 300 -H 400 -r 72 -o '" + pages +
                                        "/p%d.pnm' '" + book + "'");
        EXPECT_EQ(status, 0) << text;
        for (int n = 1; std::filesystem::exists(pages + "/p" + std::to_string(n) + ".pnm"); ++n)
            out.push_back(dominantColour(readFile(pages + "/p" + std::to_string(n) + ".pnm")));
        return out;
    }

    TempDir dir;
};

constexpr uint32_t kColours[] = {0xE6194B, 0x3CB44B, 0xFFE119, 0x4363D8, 0xF58231, 0x911EB4,
                                 0x46F0F0, 0xF032E6, 0xBCF60C, 0x008080, 0x9A6324, 0x800000};

// Twelve pages with names that repeat and need care, and a cover.
std::vector<ReaderBooks::Page> awkwardPages() {
    const char* names[] = {"p1.png",   "p1.png",    "r&d.png",        "issue#2.png",
                           "100%.png", "caf\xC3\xA9.png", "two words.png", "what?.png",
                           "p1.png",   "q\"uote.png", "\xE5\x9B\xBE.png",   "last.png"};
    std::vector<ReaderBooks::Page> pages;
    for (int i = 0; i < 12; ++i)
        pages.push_back({names[i], kColours[i]});
    return pages;
}

TEST_F(ReaderBooks, AStrictBookPassesEpubcheckWithoutAWord) {
    const std::string book = build(awkwardPages(), Page{"p1.png", 0x101010}, true,
                                   "Tom & J\xC3\xA9r\xC3\xB4me #1 <b>");
    const EpubcheckReport report = epubcheck(book);
    if (!report.ran)
        GTEST_SKIP() << "epubcheck is not installed";
    EXPECT_NE(report.text.find("No errors or warnings detected."), std::string::npos) << report.text;
}

TEST_F(ReaderBooks, AOnePageStrictBookWithoutCoverPassesEpubcheckToo) {
    const std::string book = build({{"only page.png", 0x123456}}, std::nullopt, true, "One");
    const EpubcheckReport report = epubcheck(book);
    if (!report.ran)
        GTEST_SKIP() << "epubcheck is not installed";
    EXPECT_NE(report.text.find("No errors or warnings detected."), std::string::npos) << report.text;
}

TEST_F(ReaderBooks, MupdfShowsEachPageOnItsOwnScreenInOrder) {
    for (const bool strict : {false, true}) {
        SCOPED_TRACE(strict ? "strict" : "default");
        std::vector<Page> pages = awkwardPages();
        // A page taller and one wider than the screen must fit it, not spill.
        pages.push_back({"tall.png", 0x00FF00, 200, 1600});
        pages.push_back({"wide.png", 0xFF00FF, 1600, 200});
        const std::string book = build(pages, Page{"front.png", 0x0000FF}, strict, "Colours");
        std::filesystem::remove_all(dir / "render");
        const std::vector<uint32_t> shown = renderedColours(book);
        if (shown.empty())
            GTEST_SKIP() << "mupdf is not installed";
        std::vector<uint32_t> expected = {0x0000FF};
        for (const Page& p : pages)
            expected.push_back(p.colour);
        EXPECT_EQ(shown, expected);
        std::filesystem::remove_all(dir.path() + "/in");
        std::filesystem::remove_all(dir.path() + "/out");
    }
}

TEST(BookReferences, AwkwardImageNamesAreFollowedByAReader) {
    TempDir dir;
    test::installContainerFiles(dir / "epubfiles");
    test::FakeBook book;
    test::FakeHost host;
    const std::vector<std::string> names = {
        "issue#2.png", "what?.png",   "100%.png",   "r&d.png",       "q\"uote.png", "<b>.png",
        "x\\y.png",     "tab\tnl\n.png", "caf\xE9.png", "caf\xC3\xA9 1.png", "\x01.png"};
    for (const auto& name : names) {
        writeFile(dir / ("in/" + name), "image " + name);
        book.pages.push_back(dir / ("in/" + name));
    }
    book.cover = dir / "in/r&d.png";
    book.save = dir / "out";
    ConversionRun r(book, host, dir / "epubfiles");
    ASSERT_EQ(r.run(), RunResult::Built);
    if (!have("python3"))
        GTEST_SKIP() << "python3 is not installed";
    const auto [status, report] = run("python3 " PAGELUME_SOURCE_DIR
                                      "/tests/epub/check_references.py '" + (dir / "out/Book.epub") + "'");
    EXPECT_EQ(status, 0) << report;
    const std::string opf = readFile(dir / "epubfiles/OEBPS/fb.opf");
    EXPECT_NE(opf.find("href=\"r%26d.png\""), std::string::npos);
    EXPECT_NE(readFile(dir / "epubfiles/OEBPS/page1.html").find("<img src=\"issue%232.png\" />"),
              std::string::npos);
    EXPECT_NE(readFile(dir / "epubfiles/OEBPS/page10.html").find("src=\"caf\xC3\xA9 1.png\""),
              std::string::npos)
        << "blanks and letters stay as they are";
}

}  // namespace
}  // namespace pagelume::epub
