#include <gtest/gtest.h>

#include "epub/page_wrapper.h"
#include "support/tempdir.h"

namespace pagelume::epub {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(PageWrapper, MatchesTheGoldenFileWithAnEncodedNonAsciiName) {
    TempDir dir;
    const std::string path = dir / "page1.html";
    writeFile(path, std::string(5000, 'x'));  // an older, longer file is replaced whole
    ASSERT_TRUE(writePageWrapper(path, "my page & \xC3\xA9t\xC3\xA9 <1> \"q\".png"));
    EXPECT_EQ(readFile(path), readFile(PAGELUME_SOURCE_DIR "/tests/epub/golden/page_wrapper.html"));
}

TEST(PageWrapper, CarriesTheLanguageTagAndTheNameUnchangedOtherwise) {
    const std::string text = pageWrapperText("de-DE", "Seite 1.png");
    EXPECT_NE(text.find("xml:lang=\"de-DE\"> \r\n"), std::string::npos);
    EXPECT_NE(text.find("<img src=\"Seite 1.png\" />\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 9), "</html>\r\n");
    int lines = 0;
    for (std::size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
    EXPECT_EQ(lines, 11);
}

TEST(PageWrapper, AStrictWrapperAddsADocumentTypeATitleAndAnAlternativeText) {
    const StrictWrapper strict{"Tom & Jerry <1>\x01", "Page 7"};
    const std::string text = pageWrapperText("en-US", "a b.png", &strict);
    EXPECT_NE(text.find("stylesheet\"/> \r\n<title>Tom &amp; Jerry &lt;1&gt;\xEF\xBF\xBD</title>\r\n"
                        "</head>\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("<img src=\"a b.png\" alt=\"Page 7\" />\r\n"), std::string::npos);
    EXPECT_EQ(text.find("?>\r\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\""), 36u);
    int lines = 0;
    for (std::size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
    EXPECT_EQ(lines, 13);
}

TEST(PageWrapper, UnwritablePathGivesFalse) {
    TempDir dir;
    EXPECT_FALSE(writePageWrapper(dir / "missing/page1.html", "a.png"));
    EXPECT_FALSE(writePageWrapper(dir.path(), "a.png"));
}

}  // namespace
}  // namespace pagelume::epub
