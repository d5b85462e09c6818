#include <gtest/gtest.h>

#include "fixed_layout_books.h"

namespace pagelume::epub {
namespace {

// Five hundred pages in three formats, right to left, with a cover and
// landscape pages here and there: epubcheck takes half a minute over it.
TEST_F(FixedLayoutBooks, FiveHundredPagesRightToLeftPassEpubcheck) {
    constexpr uint32_t kColours[] = {0xE6194B, 0x3CB44B, 0xFFE119, 0x4363D8};
    std::vector<Page> pages;
    for (int i = 0; i < 500; ++i)
        pages.push_back({"page" + std::to_string(i) + (i % 3 == 0 ? ".png" : i % 3 == 1 ? ".jpg" : ".gif"),
                         kColours[i % 4], i % 50 == 7 ? 40 : 20, 30});
    const std::string book = build(pages, Page{"cover.png", 0x000000, 20, 30}, true, "Many");
    expectClean(book);
    const auto [status, opf] = run("unzip -p '" + book + "' OEBPS/fb.opf");
    EXPECT_NE(opf.find("<meta name=\"original-resolution\" content=\"40x30\"/>"), std::string::npos);
    EXPECT_NE(opf.find("page-progression-direction=\"rtl\""), std::string::npos);
    EXPECT_NE(opf.find("content=\"horizontal-rl\""), std::string::npos);
}

}  // namespace
}  // namespace pagelume::epub
