// A book of ten thousand pages, with distinct names and with one name from
// as many folders: every page has its image, every reference its entry.
#include <gtest/gtest.h>

#include <set>

#include "epub/conversion_run.h"
#include "fake_book.h"
#include "support/pngwrite.h"
#include "support/tempdir.h"
#include "zip/zip_check.h"

namespace pagelume::epub {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(LongBook, TenThousandPages) {
    const std::string png = test::makePng(2, 2, [](int x, int y) { return 0xFF000000u | uint32_t(x + y); });
    for (const bool sameName : {false, true}) {
        SCOPED_TRACE(sameName ? "one name" : "distinct names");
        TempDir dir;
        test::installContainerFiles(dir / "epubfiles");
        test::FakeBook book;
        test::FakeHost host;
        constexpr int kPages = 10000;
        for (int i = 1; i <= kPages; ++i) {
            const std::string path = sameName ? dir / ("in/" + std::to_string(i) + "/page.png")
                                              : dir / ("in/p" + std::to_string(i) + ".png");
            writeFile(path, png);
            book.pages.push_back(path);
        }
        book.save = dir / "out";
        ConversionRun run(book, host, dir / "epubfiles");
        ASSERT_EQ(run.run(), RunResult::Built);
        EXPECT_TRUE(host.notCopied.empty());

        const auto view = test::readZip(dir / "out/Book.epub");
        std::set<std::string> names;
        for (const auto& e : view.entries)
            names.insert(e.name);
        EXPECT_EQ(names.size(), view.entries.size()) << "no name twice";
        EXPECT_EQ(view.entries.size(), 2u + 3 + 2 * kPages);  // container, documents, stylesheet, pages
        for (int n : {1, 2, 5000, kPages}) {
            const std::string wrapper =
                readFile(dir / ("epubfiles/OEBPS/page" + std::to_string(n) + ".html"));
            const auto at = wrapper.find("<img src=\"") + 10;
            const std::string image = wrapper.substr(at, wrapper.find('"', at) - at);
            EXPECT_EQ(image, sameName ? (n == 1 ? "page.png" : "page-" + std::to_string(n) + ".png")
                                      : "p" + std::to_string(n) + ".png");
            EXPECT_TRUE(names.count("OEBPS/" + image)) << image;
        }
        test::expectReadersAccept(dir / "out/Book.epub");
    }
}

}  // namespace
}  // namespace pagelume::epub
