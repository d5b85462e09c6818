#include <gtest/gtest.h>

#include <cstdlib>

#include "epub/fake_book.h"
#include "epub/fixed_layout_documents.h"
#include "epub/navigation_document.h"
#include "support/tempdir.h"
#include "xml/minidom_oracle.h"

using namespace pagelume;
using epub::Spread;
using test::parseWithMinidom;
using test::readFile;

namespace {

std::string golden(const std::string& name) {
    return readFile(PAGELUME_SOURCE_DIR "/tests/epub/documents/golden/" + name);
}

class FixedLayoutDocuments : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* lc = std::getenv("LC_ALL"))
            savedLocale_ = lc;
        ::setenv("LC_ALL", "en_US.UTF-8", 1);
        book_.titleText = "A Book of Pages";
        book_.authorText = "Jane Doe";
        layout_.pageCount = 4;
        layout_.coverName = "front.png";
        layout_.coverMediaType = "image/png";
        layout_.images = {{"p1.jpg", "image/jpeg"}, {"spread.gif", "image/gif"}};
        layout_.strict = true;
        layout_.identifier = "urn:uuid:0b0e4c4e-9a32-5b8e-8d0f-3c1e6a1f2b3d";
        layout_.date = "2024-03-14";
        pages_.modified = "2024-03-14T09:26:53Z";
        pages_.cover = image::PixelSize{600, 800};
        pages_.pages = {{600, 800}, {1200, 800}, {600, 800}, {640, 960}};
    }
    void TearDown() override { ::setenv("LC_ALL", savedLocale_.c_str(), 1); }

    test::TempDir dir_;
    test::FakeBook book_;
    epub::BookLayout layout_;
    epub::FixedLayoutPages pages_;
    std::string savedLocale_ = "C.UTF-8";
};

}  // namespace

// A right-to-left book with a cover and a landscape page in it: the package,
// the navigation documents and a page, byte for byte, and well-formed.
TEST_F(FixedLayoutDocuments, MatchByteForByte) {
    pages_.rightToLeft = true;
    epub::writeFixedLayoutPackage(book_, dir_.path(), layout_, pages_);
    epub::writeNavDocument(book_, dir_.path(), layout_);
    epub::writeNavigationDocument(book_, dir_.path(), layout_, epub::kPageExtension);
    epub::writeFixedLayoutPage(dir_ / "page1.xhtml", "Tom & Jerry", "a&b #1.png", "Page 1",
                               {600, 800});
    EXPECT_EQ(readFile(dir_ / "fb.opf"), golden("fixed_rtl_cover_four_pages.opf"));
    EXPECT_EQ(readFile(dir_ / "nav.xhtml"), golden("fixed_rtl_cover_four_pages.xhtml"));
    EXPECT_EQ(readFile(dir_ / "fb.ncx"), golden("fixed_rtl_cover_four_pages.ncx"));
    EXPECT_EQ(readFile(dir_ / "page1.xhtml"), golden("fixed_page.xhtml"));
    for (const char* file : {"fb.opf", "nav.xhtml", "page1.xhtml"}) {
        const auto parsed = parseWithMinidom(dir_ / file);
        EXPECT_TRUE(parsed.ok) << file << ": " << parsed.error;
    }
    EXPECT_EQ(parseWithMinidom(dir_ / "page1.xhtml").value("title"), "Tom & Jerry");

    // Left to right and without a cover: the first page has no spread, the
    // direction and Kindle's writing mode follow, the cover's items go.
    pages_.rightToLeft = false;
    layout_.coverName.reset();
    epub::writeFixedLayoutPackage(book_, dir_.path(), layout_, pages_);
    const std::string opf = readFile(dir_ / "fb.opf");
    EXPECT_NE(opf.find("<spine toc=\"ncx\" page-progression-direction=\"ltr\">\r\n"
                       "\t\t<itemref idref=\"page1\"/>\r\n"
                       "\t\t<itemref idref=\"page2\" properties=\"rendition:page-spread-center\"/>\r\n"
                       "\t\t<itemref idref=\"page3\" properties=\"page-spread-right\"/>\r\n"
                       "\t\t<itemref idref=\"page4\" properties=\"page-spread-left\"/>\r\n"),
              std::string::npos)
        << opf;
    EXPECT_NE(opf.find("content=\"horizontal-lr\""), std::string::npos);
    EXPECT_EQ(opf.find("cover"), std::string::npos);
}

TEST(FixedLayoutSpreads, AlternateFromTheStartingSideAndAfreshAfterALandscapePage) {
    const image::PixelSize p{600, 800}, l{800, 600}, square{700, 700};
    using V = std::vector<Spread>;
    // Left to right: a printed book's first page is a right-hand page.
    EXPECT_EQ(epub::pageSpreads({p, p, p, p}, false),
              (V{Spread::None, Spread::Left, Spread::Right, Spread::Left}));
    EXPECT_EQ(epub::pageSpreads({p, p, p, p}, true),
              (V{Spread::None, Spread::Right, Spread::Left, Spread::Right}));
    // After a spread-wide page the next page stands alone again; a square
    // page is not wider than tall.
    EXPECT_EQ(epub::pageSpreads({p, p, l, p, square, l, l, p}, false),
              (V{Spread::None, Spread::Left, Spread::Center, Spread::Right, Spread::Left,
                 Spread::Center, Spread::Center, Spread::Right}));
    EXPECT_EQ(epub::pageSpreads({l, p, p}, true), (V{Spread::None, Spread::Left, Spread::Right}));
    EXPECT_EQ(epub::pageSpreads({}, false), V{});
}
