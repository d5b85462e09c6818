#include <gtest/gtest.h>

#include <filesystem>

#include "epub/archive_request.h"
#include "support/tempdir.h"
#include "zip_check.h"

namespace pagelume::epub {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// A small but complete EPUB 2 staging tree, container files included.
void makeStaging(const TempDir& s) {
    writeFile(s / "mimetype", "application/epub+zip");
    writeFile(
        s / "META-INF/container.xml",
        readFile(std::string(PAGELUME_SOURCE_DIR) + "/resources/epubfiles/META-INF/container.xml"));
    writeFile(s / "OEBPS/fb.opf",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\" "
              "unique-identifier=\"id\">\n"
              "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
              "<dc:title>T</dc:title><dc:language>en-US</dc:language>"
              "<dc:identifier id=\"id\">urn:uuid:12345678-1234-1234-1234-123456789abc"
              "</dc:identifier></metadata>\n"
              "<manifest><item id=\"ncx\" href=\"fb.ncx\" media-type=\"application/x-dtbncx+xml\"/>"
              "<item id=\"p1\" href=\"page1.html\" media-type=\"application/xhtml+xml\"/>"
              "</manifest>\n"
              "<spine toc=\"ncx\"><itemref idref=\"p1\"/></spine>\n</package>\n");
    writeFile(s / "OEBPS/fb.ncx",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\">"
              "<head><meta name=\"dtb:uid\" "
              "content=\"urn:uuid:12345678-1234-1234-1234-123456789abc\"/></head>"
              "<docTitle><text>T</text></docTitle><navMap><navPoint id=\"n1\" playOrder=\"1\">"
              "<navLabel><text>1</text></navLabel><content src=\"page1.html\"/></navPoint>"
              "</navMap></ncx>\n");
    writeFile(s / "OEBPS/page1.html",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" "
              "\"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\">\n"
              "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>1</title></head>"
              "<body><p>1</p></body></html>\n");
}

TEST(ArchiveRequest, MimetypeComesFirstAndStored) {
    TempDir staging, out;
    makeStaging(staging);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
    std::string error;
    ASSERT_TRUE(archiveRequest(
        staging.path() + "/", out / "T.epub",
        [&](std::uint64_t done, std::uint64_t total) { calls.emplace_back(done, total); }, &error))
        << error;

    const auto view = test::readZip(out / "T.epub");
    EXPECT_EQ(test::entryNames(view),
              (std::vector<std::string>{"mimetype", "META-INF/container.xml", "OEBPS/fb.ncx",
                                        "OEBPS/fb.opf", "OEBPS/page1.html"}));
    const auto& mimetype = view.entries.at(0);
    EXPECT_EQ(mimetype.method, 0);
    EXPECT_EQ(mimetype.localExtraLength, 0);
    EXPECT_EQ(readFile(out / "T.epub").substr(30, 28), "mimetypeapplication/epub+zip");
    for (std::size_t i = 1; i < view.entries.size(); ++i)
        EXPECT_EQ(view.entries[i].method, 8) << view.entries[i].name;
    test::expectReadersAccept(out / "T.epub");
    test::expectContentsMatch(out / "T.epub", staging.path());

    std::uint64_t total = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(staging.path()))
        if (e.is_regular_file())
            total += e.file_size();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), std::make_pair(std::uint64_t{0}, std::uint64_t{0}));
    EXPECT_EQ(calls.back(), std::make_pair(total, total));

    // The container passes an EPUB checker: no PKG (packaging) message.
    const std::string report = out / "epubcheck.txt";
    std::system(("java -jar /usr/share/java/epubcheck.jar '" + (out / "T.epub") + "' >'" + report +
                 "' 2>&1")
                    .c_str());
    const std::string text = readFile(report);
    EXPECT_NE(text.find("EPUBCheck"), std::string::npos) << text;
    EXPECT_EQ(text.find("PKG-"), std::string::npos) << text;
    EXPECT_NE(text.find("No errors or warnings detected"), std::string::npos) << text;
}

TEST(ArchiveRequest, FailureLeavesNothingAndKeepsTheOldBook) {
    TempDir staging, out;
    makeStaging(staging);
    std::string error;
    EXPECT_FALSE(archiveRequest(staging.path(), out / "missing/T.epub", {}, &error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(out / "missing"));

    // A cancel from the window in the middle of the run.
    writeFile(out / "T.epub", "old book");
    EXPECT_FALSE(archiveRequest(
        staging.path(), out / "T.epub",
        [](std::uint64_t done, std::uint64_t) {
            if (done > 0)
                throw std::runtime_error("closed");
        },
        &error));
    EXPECT_EQ(error, "closed");
    EXPECT_EQ(readFile(out / "T.epub"), "old book");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 1);

    // A whole new book replaces the old one.
    EXPECT_TRUE(archiveRequest(staging.path(), out / "T.epub", {}, &error));
    EXPECT_EQ(test::readZip(out / "T.epub").entries.size(), 5u);
}

}  // namespace
}  // namespace pagelume::epub
