#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "epub/conversion_run.h"
#include "fake_book.h"
#include "support/pngwrite.h"
#include "support/tempdir.h"

namespace pagelume::epub {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// Runs a command and returns its exit status and everything it printed.
std::pair<int, std::string> run(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return {-1, ""};
    std::array<char, 4096> buf;
    while (std::size_t n = std::fread(buf.data(), 1, buf.size(), pipe)) output.append(buf.data(), n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

bool have(const std::string& tool) { return run("command -v " + tool).first == 0; }

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

TEST_F(BookReadersTest, EpubcheckFindsNoContainerError) {
    ASSERT_EQ(result, RunResult::Built);
    if (!have("java") || !std::filesystem::exists("/usr/bin/epubcheck"))
        GTEST_SKIP() << "epubcheck is not installed";
    const auto [status, report] = run("java -jar /usr/bin/epubcheck '" + epub + "'");
    // The book's documents keep their known shape (an empty identifier, the
    // stylesheet that is listed but not written, ...); the container must be clean.
    EXPECT_NE(report.find("Validating using EPUB version 2.0.1 rules."), std::string::npos) << report;
    EXPECT_EQ(report.find("PKG-"), std::string::npos) << report;
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
