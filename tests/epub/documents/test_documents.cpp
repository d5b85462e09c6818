#include <gtest/gtest.h>

#include <cstdlib>

#include "epub/fake_book.h"
#include "epub/navigation_document.h"
#include "epub/package_document.h"
#include "platform/exception.h"
#include "support/tempdir.h"
#include "xml/minidom_oracle.h"

using namespace pagelume;
using test::parseWithMinidom;
using test::readFile;

namespace {

constexpr const char* kOpf = "http://www.idpf.org/2007/opf";
constexpr const char* kDc = "http://purl.org/dc/elements/1.1/";
constexpr const char* kNcx = "http://www.daisy.org/z3986/2005/ncx/";
constexpr const char* kXmlns = "http://www.w3.org/2000/xmlns/";
constexpr const char* kXmlNs = "http://www.w3.org/XML/1998/namespace";

std::string golden(const std::string& name) {
    return readFile(PAGELUME_SOURCE_DIR "/tests/epub/documents/golden/" + name);
}

class Documents : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* lc = std::getenv("LC_ALL"))
            savedLocale_ = lc;
        setLocale("en_US.UTF-8");
        book_.titleText = "A Book of Pages";
        book_.authorText = "Jane Doe";
    }
    void TearDown() override { setLocale(savedLocale_); }
    static void setLocale(const std::string& name) { ::setenv("LC_ALL", name.c_str(), 1); }

    void writeBoth(int pages, const std::optional<std::string>& cover,
                   std::vector<epub::BookImage> images = {}) {
        epub::BookLayout layout;
        layout.pageCount = pages;
        layout.coverName = cover;
        layout.images = std::move(images);
        layout.date = "3/14/2024";
        writeBoth(layout);
    }
    void writeBoth(const epub::BookLayout& layout) {
        epub::writePackageDocument(book_, dir_.path(), layout);
        epub::writeNavigationDocument(book_, dir_.path(), layout);
    }

    test::TempDir dir_;
    test::FakeBook book_;
    std::string savedLocale_ = "C.UTF-8";
};

// What an outside parser reads: every element and attribute in the
// namespace the documents promise.
void expectPackageNamespaces(const test::ParseResult& parsed) {
    ASSERT_TRUE(parsed.ok) << parsed.error;
    for (const auto& n : parsed.nodes) {
        std::string expected;
        if (!n.isAttribute) {
            expected = n.name.starts_with("dc:") ? kDc : kOpf;
        } else if (n.name.starts_with("xmlns")) {
            expected = kXmlns;
        } else if (n.name.starts_with("opf:")) {
            expected = kOpf;
        }
        EXPECT_EQ(n.ns, expected) << n.name;
    }
}

void expectNavigationNamespaces(const test::ParseResult& parsed) {
    ASSERT_TRUE(parsed.ok) << parsed.error;
    for (const auto& n : parsed.nodes) {
        std::string expected;
        if (!n.isAttribute) {
            expected = kNcx;
        } else if (n.name == "xmlns") {
            expected = kXmlns;
        } else if (n.name == "xml:lang") {
            expected = kXmlNs;
        }
        EXPECT_EQ(n.ns, expected) << n.name;
    }
}

}  // namespace

TEST_F(Documents, ThreePagesWithoutCoverMatchByteForByte) {
    writeBoth(3, std::nullopt, {{"p1.png", "image/png"}, {"p 2.jpg", "image/jpeg"},
                                {"a&b#1.gif", "image/gif"}});
    EXPECT_EQ(readFile(dir_ / "fb.opf"), golden("three_pages.opf"));
    EXPECT_EQ(readFile(dir_ / "fb.ncx"), golden("three_pages.ncx"));
    expectPackageNamespaces(parseWithMinidom(dir_ / "fb.opf"));
    expectNavigationNamespaces(parseWithMinidom(dir_ / "fb.ncx"));
}

TEST_F(Documents, TwoPagesWithCoverMatchByteForByte) {
    writeBoth(2, "front.png", {{"inside.png", "image/png"}});
    EXPECT_EQ(readFile(dir_ / "fb.opf"), golden("cover_two_pages.opf"));
    EXPECT_EQ(readFile(dir_ / "fb.ncx"), golden("cover_two_pages.ncx"));
    expectPackageNamespaces(parseWithMinidom(dir_ / "fb.opf"));
    expectNavigationNamespaces(parseWithMinidom(dir_ / "fb.ncx"));
}

TEST_F(Documents, AStrictBookMatchesByteForByteWithAndWithoutCover) {
    epub::BookLayout layout;
    layout.pageCount = 2;
    layout.coverName = "front.png";
    layout.coverMediaType = "image/png";
    layout.images = {{"inside.jpg", "image/jpeg"}};
    layout.strict = true;
    layout.identifier = "urn:uuid:0b0e4c4e-9a32-5b8e-8d0f-3c1e6a1f2b3d";
    layout.date = "2024-03-14";
    writeBoth(layout);
    EXPECT_EQ(readFile(dir_ / "fb.opf"), golden("strict_cover_two_pages.opf"));
    EXPECT_EQ(readFile(dir_ / "fb.ncx"), golden("strict_cover_two_pages.ncx"));
    expectPackageNamespaces(parseWithMinidom(dir_ / "fb.opf"));
    expectNavigationNamespaces(parseWithMinidom(dir_ / "fb.ncx"));

    // Without a cover there is no guide at all, and no cover meta element.
    layout.coverName.reset();
    writeBoth(layout);
    const std::string opf = readFile(dir_ / "fb.opf");
    EXPECT_EQ(opf.find("<guide"), std::string::npos);
    EXPECT_EQ(opf.find("cover"), std::string::npos);
    EXPECT_NE(opf.find("\t</spine>\r\n</package>"), std::string::npos);
}

// Chapters and details in a default book with a cover: pages before the
// first chapter stay at the top, a chapter shares its first page's place in
// the reading order, and the details fill the package.
TEST_F(Documents, ChaptersAndDetailsMatchByteForByte) {
    epub::BookLayout layout;
    layout.pageCount = 4;
    layout.coverName = "front.png";
    layout.images = {{"a.png", "image/png"}};
    layout.date = "3/14/2024";
    layout.chapters = {{2, "Part <1> & Co"}, {4, "Epilogue"}};
    layout.details = {"fr-CA", "Les Aventures", "12", "Deux lignes\nd'histoire"};
    writeBoth(layout);
    EXPECT_EQ(readFile(dir_ / "fb.opf"), golden("chapters_details.opf"));
    EXPECT_EQ(readFile(dir_ / "fb.ncx"), golden("chapters_details.ncx"));
    expectPackageNamespaces(parseWithMinidom(dir_ / "fb.opf"));
    expectNavigationNamespaces(parseWithMinidom(dir_ / "fb.ncx"));
}

TEST_F(Documents, AwkwardTitlesComeOutWellFormedAndReadBack) {
    book_.titleText = "Tom & Jerry <\"Vol. 1\">\r\n\xC3\x84rger 'n' m\xC3\xA1s";
    book_.authorText = "";
    writeBoth(1, "a&b.png");

    const auto opf = parseWithMinidom(dir_ / "fb.opf");
    expectPackageNamespaces(opf);
    // Readers fold a CR LF in text into LF; nothing else changes.
    const std::string read = "Tom & Jerry <\"Vol. 1\">\n\xC3\x84rger 'n' m\xC3\xA1s";
    EXPECT_EQ(opf.value("dc:title"), read);
    EXPECT_EQ(opf.value("dc:creator"), "");
    // The cover's references name the file with '&' encoded, never escaped.
    EXPECT_NE(readFile(dir_ / "fb.opf").find(R"(<reference href="a%26b.png" title="cover")"),
              std::string::npos);
    EXPECT_NE(readFile(dir_ / "fb.opf").find(R"(<item id="cover-image" href="a%26b.png")"),
              std::string::npos);
    EXPECT_NE(readFile(dir_ / "fb.opf").find("\t\t<dc:creator opf:role=\"aut\"></dc:creator>\r\n"),
              std::string::npos);

    const auto ncx = parseWithMinidom(dir_ / "fb.ncx");
    expectNavigationNamespaces(ncx);
    EXPECT_EQ(ncx.value("text"), read);
    EXPECT_NE(readFile(dir_ / "fb.ncx").find("<docAuthor>\r\n\t\t<text></text>\r\n\t</docAuthor>"),
              std::string::npos);
}

TEST_F(Documents, LanguageTagFollowsTheLocaleInBoth) {
    setLocale("de_DE.UTF-8");
    writeBoth(1, std::nullopt);
    EXPECT_EQ(parseWithMinidom(dir_ / "fb.opf").value("dc:language"), "de-DE");
    EXPECT_EQ(parseWithMinidom(dir_ / "fb.ncx").value("xml:lang", true), "de-DE");
}

TEST_F(Documents, MissingContentDirectoryRaisesAndWritesNothing) {
    const std::string missing = dir_ / "OEBPS";
    try {
        epub::BookLayout layout;
        layout.pageCount = 1;
        epub::writePackageDocument(book_, missing, layout);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find(missing + "/fb.opf"), std::string::npos) << e.what();
    }
    EXPECT_THROW(epub::writeNavigationDocument(book_, missing, epub::BookLayout{}), Exception);
    EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}
