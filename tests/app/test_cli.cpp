#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "app/cli.h"
#include "image/image_size.h"
#include "platform/files.h"
#include "support/imagewrite.h"
#include "support/pngwrite.h"
#include "support/tempdir.h"

namespace pagelume::app {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

struct Cli {
    Cli() { test::installContainerFiles(dir / "epubfiles"); }
    TempDir dir;
    std::string out, err;
    int run(std::vector<std::string> args, const std::string& input = "", bool tty = false,
            bool errTty = false) {
        std::istringstream in(input);
        std::ostringstream o, e;
        int status = runCommandLine(args, dir / "epubfiles", in, o, e, tty, errTty);
        out = o.str();
        err = e.str();
        return status;
    }
};

// The picture each page of a book shows, in page order (read with unzip).
std::vector<std::string> pagePictures(const std::string& book) {
    std::vector<std::string> out;
    for (int n = 1;; ++n) {
        const std::string cmd =
            "unzip -p '" + book + "' OEBPS/page" + std::to_string(n) + ".html 2>/dev/null";
        FILE* p = ::popen(cmd.c_str(), "r");
        std::string html;
        char buf[4096];
        for (std::size_t got; p && (got = std::fread(buf, 1, sizeof buf, p)) > 0;)
            html.append(buf, got);
        if (p)
            ::pclose(p);
        const auto at = html.find("<img src=\"");
        if (at == std::string::npos)
            return out;
        const auto from = at + 10;
        out.push_back(html.substr(from, html.find('"', from) - from));
    }
}

TEST(CommandLine, ControlCharactersInNamesReachATerminalOnlyAsEscapes) {
    Cli cli;
    writeFile(cli.dir / "in/a.png", "a");
    const std::string evil = cli.dir / "in/\x1b]0;owned\x07\x1b[2J\xC2\x9b.png";
    EXPECT_EQ(cli.run({"--title", "T", "--author", "A", "--output", cli.dir / "out", "--quiet",
                       cli.dir / "in/a.png", evil},
                      "", false, true),
              0);
    EXPECT_EQ(cli.err.find('\x1b'), std::string::npos) << cli.err;
    EXPECT_EQ(cli.err.find('\x07'), std::string::npos);
    EXPECT_EQ(cli.err.find("\xC2\x9b"), std::string::npos) << "a C1 control too";
    EXPECT_NE(cli.err.find("in/\\x1b]0;owned\\x07\\x1b[2J\\x9b.png: No such file"),
              std::string::npos)
        << cli.err;
    // Into a file or a pipe the name goes as it is, for scripts to read.
    cli.run({"--title", "T", "--author", "A", "--output", cli.dir / "out", "--yes",
             cli.dir / "in/a.png", evil});
    EXPECT_NE(cli.err.find(evil), std::string::npos);
}

TEST(CommandLine, UsageHelpAndVersion) {
    Cli cli;
    EXPECT_EQ(cli.run({"--version"}), 0);
    EXPECT_EQ(cli.out, "Pagelume 3.3\n");
    EXPECT_EQ(cli.run({"--help"}), 0);
    EXPECT_NE(cli.out.find("Usage: pagelume"), std::string::npos);
    EXPECT_EQ(cli.run({"--frobnicate", "a.png"}), 2);
    EXPECT_NE(cli.err.find("unknown option --frobnicate"), std::string::npos);
    EXPECT_EQ(cli.run({"--title"}), 2);
    EXPECT_EQ(cli.run({"--title", "T"}), 2) << "no pages";
    EXPECT_FALSE(platform::pathExists(cli.dir / "epubfiles/.pagelume.lock"));
}

// The kinds of book: one at a time, the direction only with a fixed layout;
// a fixed-layout page whose size cannot be read stops the book.
TEST(CommandLine, FixedLayoutAndRightToLeft) {
    Cli cli;
    EXPECT_EQ(cli.run({"--strict", "--fixed-layout", "a.png"}), 2);
    EXPECT_NE(cli.err.find("--strict and --fixed-layout cannot be combined"), std::string::npos);
    EXPECT_EQ(cli.run({"--right-to-left", "a.png"}), 2);
    EXPECT_NE(cli.err.find("--right-to-left needs --fixed-layout"), std::string::npos);

    writeFile(cli.dir / "a.png", test::makePng(30, 40, [](int, int) { return 0xFF00FF00u; }));
    const std::vector<std::string> args = {"--fixed-layout", "--right-to-left", "--title", "T",
                                           "--author", "A", "--output", cli.dir / "out",
                                           cli.dir / "a.png", cli.dir / "a.png"};
    ASSERT_EQ(cli.run(args), 0) << cli.err;
    const std::string opf = [&] {
        FILE* p = ::popen(("unzip -p '" + (cli.dir / "out/T.epub") + "' OEBPS/fb.opf").c_str(), "r");
        std::string text;
        char buf[4096];
        for (std::size_t got; p && (got = std::fread(buf, 1, sizeof buf, p)) > 0;)
            text.append(buf, got);
        if (p)
            ::pclose(p);
        return text;
    }();
    EXPECT_NE(opf.find("page-progression-direction=\"rtl\""), std::string::npos) << opf;
    EXPECT_NE(opf.find("version=\"3.0\""), std::string::npos);

    // A PNG cut inside its header: its size is unknown, no book is made.
    writeFile(cli.dir / "b.png", std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16));
    EXPECT_EQ(cli.run({"--fixed-layout", "--title", "U", "--author", "A", "--output",
                       cli.dir / "out", cli.dir / "a.png", cli.dir / "b.png"}),
              1);
    EXPECT_EQ(cli.err, "Page 2: the size of its image cannot be read: " + (cli.dir / "b.png") + "\n");
    EXPECT_FALSE(platform::pathExists(cli.dir / "out/U.epub"));
}

TEST(CommandLine, StopsAtTheChecksWithStatusOneAndCleansUp) {
    Cli cli;
    writeFile(cli.dir / "a.png", "a");
    EXPECT_EQ(cli.run({"--title", "T", "--author", "A", cli.dir / "a.png"}), 1);
    EXPECT_EQ(cli.err, "Please set the saving path!\n");
    EXPECT_EQ(cli.run({"--title=T", "--output", cli.dir / "out", cli.dir / "a.png"}), 1);
    EXPECT_EQ(cli.err, "Please set the author name!\n");
    EXPECT_FALSE(platform::pathExists(cli.dir / "epubfiles/OEBPS")) << "removed at the end";
}

TEST(CommandLine, BuildsAndAsksBeforeReplacing) {
    Cli cli;
    writeFile(cli.dir / "a.png", "a");
    writeFile(cli.dir / "-b.png", "b");
    const std::vector<std::string> args = {
        "--title",         "T",  "--author",        "A", "--output", cli.dir / "out",
        cli.dir / "a.png", "--", cli.dir / "-b.png"};
    ASSERT_EQ(cli.run(args), 0) << cli.err;
    EXPECT_EQ(cli.err, "Successed to build: " + (cli.dir / "out/T.epub") + "\n");
    const std::string book = readFile(cli.dir / "out/T.epub");

    writeFile(cli.dir / "out/T.epub", "old");
    EXPECT_EQ(cli.run(args), 1) << "not a terminal and no --yes: the answer is no";
    EXPECT_EQ(readFile(cli.dir / "out/T.epub"), "old");
    EXPECT_EQ(cli.run(args, "n\n", true), 1);
    EXPECT_NE(cli.err.find("The file is existing. Overwrite? [y/N]"), std::string::npos);
    EXPECT_EQ(readFile(cli.dir / "out/T.epub"), "old");
    EXPECT_EQ(cli.run(args, "y\n", true), 0);
    EXPECT_EQ(readFile(cli.dir / "out/T.epub").substr(0, 2), "PK");
    writeFile(cli.dir / "out/T.epub", "old");
    auto withYes = args;
    withYes.insert(withYes.begin(), "--yes");
    EXPECT_EQ(cli.run(withYes), 0);
    EXPECT_EQ(readFile(cli.dir / "out/T.epub").size(), book.size());
    EXPECT_FALSE(platform::pathExists(cli.dir / "epubfiles/OEBPS"));
}

TEST(CommandLine, LostPagesAreWarnedAboutAndTheBookIsBuilt) {
    Cli cli;
    writeFile(cli.dir / "a.png", "a");
    ASSERT_EQ(::mkfifo((cli.dir / "pipe.png").c_str(), 0644), 0);
    ASSERT_EQ(cli.run({"--title", "T", "--author", "A", "--output", cli.dir / "out", cli.dir / "a.png",
                       cli.dir / "gone.png", cli.dir / "pipe.png", "--cover", cli.dir / "gone.png"}),
              0)
        << cli.err;
    EXPECT_EQ(cli.err, "warning: page 2: " + (cli.dir / "gone.png") + ": No such file or directory\n" +
                           "warning: page 3: " + (cli.dir / "pipe.png") + ": not a regular file\n" +
                           "warning: cover: " + (cli.dir / "gone.png") +
                           ": No such file or directory\n" + "Successed to build: " +
                           (cli.dir / "out/T.epub") + "\n");
}

TEST(CommandLine, AProgressLineOnlyOnATerminalAndNotWhenQuiet) {
    Cli cli;
    writeFile(cli.dir / "a.png", "a");
    writeFile(cli.dir / "b.png", "b");
    const std::vector<std::string> args = {"--yes", "--title", "T", "--author", "A", "--output",
                                           cli.dir / "out", cli.dir / "a.png", cli.dir / "b.png"};
    ASSERT_EQ(cli.run(args, "", false, true), 0);
    const std::string& err = cli.err;
    const auto copied = err.find("\r\033[KCopying pages: 2 of 2");
    const auto packed = err.find("\r\033[KPacking the book: 100%");
    const auto built = err.find("\r\033[KSuccessed to build: ");
    EXPECT_NE(err.find("\r\033[KCopying pages: 0 of 2"), std::string::npos) << err;
    EXPECT_LT(copied, packed);
    EXPECT_LT(packed, built) << "the line is cleared before the message";
    EXPECT_EQ(err.find("\r\033[KPacking the book: 100%", packed + 1), std::string::npos)
        << "redrawn only when it changes";

    auto quiet = args;
    quiet.insert(quiet.begin(), "--quiet");
    ASSERT_EQ(cli.run(quiet, "", false, true), 0);
    EXPECT_EQ(cli.err, "Successed to build: " + (cli.dir / "out/T.epub") + "\n");
    ASSERT_EQ(cli.run(args, "", false, false), 0);
    EXPECT_EQ(cli.err, "Successed to build: " + (cli.dir / "out/T.epub") + "\n");
}

TEST(CommandLine, AnIncompleteInstallationIsReported) {
    Cli cli;
    writeFile(cli.dir / "a.png", "a");
    std::filesystem::remove(cli.dir / "epubfiles/META-INF/container.xml");
    EXPECT_EQ(cli.run({"--title", "T", "--author", "A", "--output", cli.dir / "out", cli.dir / "a.png"}),
              1);
    EXPECT_EQ(cli.err, "Pagelume is not installed completely: " +
                           (cli.dir / "epubfiles/META-INF/container.xml") +
                           " is missing or damaged.\n");
    EXPECT_FALSE(platform::pathExists(cli.dir / "out"));
}

}  // namespace
}  // namespace pagelume::app

namespace pagelume::app {
namespace {

TEST(CommandLine, FoldersStandForTheirPngFilesAndSortOrdersAllPages) {
    Cli cli;
    for (const char* name :
         {"ch1/p10.png", "ch1/p2.png", "ch1/notes.txt", "ch1/p1.PNG", "a9.png", "a10.png"})
        writeFile(cli.dir / name, std::string("page ") + name);
    const std::vector<std::string> base = {"--title",       "T",    "--author", "A", "--output",
                                           cli.dir / "out", "--yes"};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> args = base;
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    ASSERT_EQ(cli.run(with({cli.dir / "a10.png", cli.dir / "ch1", cli.dir / "a9.png"})), 0)
        << cli.err;
    EXPECT_EQ(pagePictures(cli.dir / "out/T.epub"),
              (std::vector<std::string>{"a10.png", "p1.PNG", "p2.png", "p10.png", "a9.png"}));

    ASSERT_EQ(cli.run(with({"--sort", cli.dir / "ch1", cli.dir / "a10.png", cli.dir / "a9.png"})),
              0)
        << cli.err;
    EXPECT_EQ(pagePictures(cli.dir / "out/T.epub"),
              (std::vector<std::string>{"a9.png", "a10.png", "p1.PNG", "p2.png", "p10.png"}));

    std::filesystem::create_directory(cli.dir / "empty");
    EXPECT_EQ(cli.run(with({cli.dir / "empty"})), 1) << "a folder without pages is named";
    EXPECT_EQ(cli.err, "pagelume: " + cli.dir / "empty" + ": not a comic archive or folder of page images\n");
    EXPECT_EQ(cli.run({"--help"}), 0);
    EXPECT_NE(cli.out.find("--sort"), std::string::npos);
}

// A book's member, read with unzip.
std::string bookMember(const std::string& book, const std::string& name) {
    const std::string cmd = "unzip -p '" + book + "' '" + name + "' 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    std::string bytes;
    char buf[4096];
    for (std::size_t got; p && (got = std::fread(buf, 1, sizeof buf, p)) > 0;)
        bytes.append(buf, got);
    if (p)
        ::pclose(p);
    return bytes;
}

std::string zipOf(const std::string& dir, const std::string& archive, const std::string& members) {
    return "cd '" + dir + "' && zip -q -r '" + archive + "' " + members;
}

// The contents' chapter titles in book order, as the NCX lists them.
std::vector<std::string> chapterTitles(const std::string& ncx) {
    std::vector<std::string> out;
    for (auto at = ncx.find("id=\"chapter"); at != std::string::npos;
         at = ncx.find("id=\"chapter", at + 1)) {
        const auto text = ncx.find("<text>", at) + 6;
        out.push_back(ncx.substr(text, ncx.find("</text>", text) - text));
    }
    return out;
}

// Folders of folders make chapters unless told not to, --chapter marks the
// next source's first page, and the details reach the book; what a book
// cannot carry is refused as bad usage.
TEST(CommandLine, ChaptersFromFoldersAndOptionsAndTheBooksDetails) {
    Cli cli;
    for (const char* name : {"vol/b/p1.png", "vol/a/p2.png", "vol/a/p1.png", "x.png"})
        writeFile(cli.dir / name, test::makePng(4, 4, [](int, int) { return 0xFF0000FFu; }));
    const std::vector<std::string> base = {"--title", "T", "--author", "A", "--output",
                                           cli.dir / "out", "--yes", "--language", "ja",
                                           "--series", "S & Co", "--series-index", "4.5"};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> args = base;
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const std::string book = cli.dir / "out/T.epub";
    ASSERT_EQ(cli.run(with({cli.dir / "x.png", cli.dir / "vol", "--chapter", "End", cli.dir / "x.png"})),
              0)
        << cli.err;
    EXPECT_EQ(chapterTitles(bookMember(book, "OEBPS/fb.ncx")),
              (std::vector<std::string>{"a", "b", "End"}));
    EXPECT_EQ(pagePictures(book), (std::vector<std::string>{"x.png", "p1.png", "p2.png", "p1-2.png", "x.png"}));
    EXPECT_NE(bookMember(book, "OEBPS/page1.html").find("xml:lang=\"ja\""), std::string::npos);
    const std::string opf = bookMember(book, "OEBPS/fb.opf");
    EXPECT_NE(opf.find("<meta name=\"calibre:series\" content=\"S &amp; Co\"/>"), std::string::npos) << opf;
    EXPECT_NE(opf.find("<meta name=\"calibre:series_index\" content=\"4.5\"/>"), std::string::npos);

    ASSERT_EQ(cli.run(with({"--no-folder-chapters", "--chapter", "Only", cli.dir / "vol"})), 0) << cli.err;
    EXPECT_EQ(chapterTitles(bookMember(book, "OEBPS/fb.ncx")), (std::vector<std::string>{"Only"}));

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--language", "en_US", "x.png"},
          {"--language", "ja--JP", "x.png"},
          {"--series", "S", "--series-index", "two", "x.png"},
          {"--series-index", "2", "x.png"},
          {"x.png", "--chapter", "Dangling"},
          {"--chapter", " ", "x.png"}}) {
        EXPECT_EQ(cli.run(bad), 2) << bad[0] << " " << bad[1];
        EXPECT_EQ(cli.err.find("pagelume: --"), 0u) << cli.err;
    }
}

TEST(CommandLine, JpegGifPngPagesAndComicArchivesReachAStrictBookByteForByte) {
    Cli cli;
    const std::string jpeg = test::makeJpeg(60, 80, [](int x, int) { return x * 4u << 8; });
    const std::string gif = test::makeGif(40, 30, {0xFF0000, 0x00FF00}, [](int x, int) { return x % 2; });
    const std::string png = test::makePng(30, 40, [](int, int y) { return 0xFF000000u | y; });
    writeFile(cli.dir / "in/scan.JPG", jpeg);
    writeFile(cli.dir / "in/art.gif", gif);
    writeFile(cli.dir / "folder/p2.png", png);
    writeFile(cli.dir / "folder/p10.jpeg", jpeg + "x");  // a different image
    writeFile(cli.dir / "comic/pages/b.png", png + "y");
    writeFile(cli.dir / "comic/pages/a.jpg", jpeg);
    writeFile(cli.dir / "comic/ComicInfo.xml",
              "<ComicInfo><Series>Dawn</Series><Number>3</Number><Writer>Ann</Writer></ComicInfo>");
    ASSERT_EQ(std::system(zipOf(cli.dir / "comic", "../book.cbz", "pages ComicInfo.xml").c_str()), 0);

    // Title and author come from the archive's ComicInfo.xml.
    ASSERT_EQ(cli.run({"--strict", "--output", cli.dir / "out", cli.dir / "in/scan.JPG",
                       cli.dir / "folder", cli.dir / "book.cbz", cli.dir / "in/art.gif"}),
              0)
        << cli.err;
    const std::string book = cli.dir / "out/Dawn 3.epub";
    EXPECT_EQ(pagePictures(book),
              (std::vector<std::string>{"scan.JPG", "p2.png", "p10.jpeg", "a.jpg", "b.png", "art.gif"}));
    EXPECT_EQ(bookMember(book, "OEBPS/scan.JPG"), jpeg);
    EXPECT_EQ(bookMember(book, "OEBPS/art.gif"), gif);
    EXPECT_EQ(bookMember(book, "OEBPS/p10.jpeg"), jpeg + "x");
    EXPECT_EQ(bookMember(book, "OEBPS/a.jpg"), jpeg) << "a member, unchanged";
    EXPECT_EQ(bookMember(book, "OEBPS/b.png"), png + "y");
    const std::string opf = bookMember(book, "OEBPS/fb.opf");
    EXPECT_NE(opf.find("<dc:creator opf:role=\"aut\">Ann</dc:creator>"), std::string::npos);
    for (const char* item : {"href=\"a.jpg\" media-type=\"image/jpeg\"",
                             "href=\"art.gif\" media-type=\"image/gif\"",
                             "href=\"b.png\" media-type=\"image/png\""})
        EXPECT_NE(opf.find(item), std::string::npos) << item;

    const std::string report = cli.dir / "epubcheck.txt";
    std::system(("java -jar /usr/share/java/epubcheck.jar '" + book + "' >'" + report + "' 2>&1").c_str());
    EXPECT_NE(readFile(report).find("No errors or warnings detected"), std::string::npos)
        << readFile(report);
}

TEST(CommandLine, ArchiveMembersThatCannotBeReadAreWarnedAndNothingLeavesTheStagingFolder) {
    Cli cli;
    const std::string jpeg = test::makeJpeg(8, 8, [](int, int) { return 0u; });
    writeFile(cli.dir / "c/p1.jpg", jpeg);
    writeFile(cli.dir / "c/p2.jpg", jpeg + "2");
    ASSERT_EQ(std::system(zipOf(cli.dir / "c", "../plain.cbz", "p1.jpg").c_str()), 0);
    ASSERT_EQ(std::system(("cd '" + cli.dir / "c" + "' && zip -q -P pw ../locked.cbz p2.jpg").c_str()), 0);
    writeFile(cli.dir / "evil.py",
              "import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n"
              "z.writestr('../../escaped.jpg', open(sys.argv[2],'rb').read())\n"
              "z.writestr('ok.jpg', open(sys.argv[2],'rb').read())\nz.close()\n");
    ASSERT_EQ(std::system(("python3 '" + cli.dir / "evil.py" + "' '" + cli.dir / "evil.cbz" + "' '" +
                           cli.dir / "c/p1.jpg" + "'").c_str()),
              0);
    EXPECT_EQ(cli.run({"--title", "T", "--author", "A", "--output", cli.dir / "out",
                       cli.dir / "plain.cbz", cli.dir / "locked.cbz", cli.dir / "evil.cbz"}),
              0);
    EXPECT_EQ(cli.err.rfind("warning: page 2: " + cli.dir / "locked.cbz" + " \u203A p2.jpg: ", 0), 0u)
        << cli.err;
    EXPECT_EQ(pagePictures(cli.dir / "out/T.epub"),
              (std::vector<std::string>{"p1.jpg", "p2.jpg", "ok.jpg"}))
        << "the locked page stays, without its image; the escaping member is no page";
    EXPECT_EQ(bookMember(cli.dir / "out/T.epub", "OEBPS/p2.jpg"), "");
    EXPECT_FALSE(platform::pathExists(cli.dir / "escaped.jpg"));
    EXPECT_FALSE(platform::pathExists(cli.dir / "epubfiles/escaped.jpg"));

    // An archive that cannot be opened stops before anything is written.
    writeFile(cli.dir / "broken.cbr", "Rar!\x1A\x07 nothing more");
    EXPECT_EQ(cli.run({"--title", "U", "--author", "A", "--output", cli.dir / "out",
                       cli.dir / "broken.cbr"}),
              1);
    EXPECT_EQ(cli.err.rfind("pagelume: " + cli.dir / "broken.cbr" + ": ", 0), 0u) << cli.err;
    EXPECT_FALSE(platform::pathExists(cli.dir / "out/U.epub"));
}

TEST(CommandLine, EachMakesOneBookPerSourceAndSumsUp) {
    Cli cli;
    const std::string jpeg = test::makeJpeg(8, 8, [](int, int) { return 0u; });
    writeFile(cli.dir / "a/ComicInfo.xml", "<ComicInfo><Title>First</Title><Writer>Ann</Writer></ComicInfo>");
    writeFile(cli.dir / "a/p1.jpg", jpeg);
    ASSERT_EQ(std::system(zipOf(cli.dir / "a", "../one.cbz", "p1.jpg ComicInfo.xml").c_str()), 0);
    writeFile(cli.dir / "b/p1.jpg", jpeg);
    ASSERT_EQ(std::system(("cd '" + cli.dir / "b" + "' && tar cf ../two.cbt p1.jpg").c_str()), 0);
    writeFile(cli.dir / "Third Volume/p1.jpg", jpeg);
    std::filesystem::create_directory(cli.dir / "empty");

    EXPECT_EQ(cli.run({"--each", "--title", "T", "--output", cli.dir / "out", cli.dir / "one.cbz"}), 2);

    // Without --author only the archive that names its writer is built.
    EXPECT_EQ(cli.run({"--each", "--output", cli.dir / "out", cli.dir / "one.cbz",
                       cli.dir / "two.cbt"}),
              1);
    EXPECT_NE(cli.err.find(cli.dir / "two.cbt" + ": Please set the author name!"), std::string::npos);
    EXPECT_NE(cli.err.find("\n1 book built, 1 skipped, 0 failed\n"), std::string::npos) << cli.err;

    EXPECT_EQ(cli.run({"--each", "--yes", "--author", "Bo", "--output", cli.dir / "out",
                       cli.dir / "one.cbz", cli.dir / "empty", cli.dir / "two.cbt",
                       cli.dir / "Third Volume/"}),
              1);
    EXPECT_NE(cli.err.find("Book 4 of 4: " + cli.dir / "Third Volume/"), std::string::npos);
    EXPECT_NE(cli.err.find("3 books built, 0 skipped, 1 failed"), std::string::npos) << cli.err;
    for (const char* book : {"First.epub", "two.epub", "Third Volume.epub"})
        EXPECT_TRUE(platform::fileExists(cli.dir / "out/" + book)) << book;
    EXPECT_NE(bookMember(cli.dir / "out/First.epub", "OEBPS/fb.opf").find(">Bo</dc:creator>"),
              std::string::npos)
        << "--author wins over the archive's writer";
}

TEST(CommandLine, FittedBooksHoldPagesInsideTheScreenWhateverTheThreads) {
    Cli cli;
    const auto photo = [](int x, int y) { return static_cast<unsigned>((x * 7) ^ (y * 3)) & 0xFFFFFF; };
    writeFile(cli.dir / "in/big.jpg", test::makeJpeg(1500, 2400, photo));
    writeFile(cli.dir / "in/wide.png", test::makePng(1800, 900, [](int x, int) { return 0xFF000000u | x; }));
    const std::string small = test::makePng(100, 150, [](int, int y) { return 0xFF000000u | y; });
    writeFile(cli.dir / "in/small.png", small);
    writeFile(cli.dir / "in/broken.jpg", std::string("\xFF\xD8\xFF\xE0", 4) + std::string(300, 'x'));
    ASSERT_EQ(std::system(zipOf(cli.dir / "in", "../c.cbz", "big.jpg").c_str()), 0);

    std::vector<std::string> books[2];
    for (const char* threads : {"1", "4"}) {
        ::setenv("PAGELUME_THREADS", threads, 1);
        ASSERT_EQ(cli.run({"--yes", "--fit", "600x800", "--title", "T", "--author", "A",
                           "--output", cli.dir / "out", cli.dir / "in/big.jpg", cli.dir / "in/wide.png",
                           cli.dir / "in/small.png", cli.dir / "in/broken.jpg", cli.dir / "c.cbz"}),
                  0)
            << cli.err;
        const std::string book = cli.dir / "out/T.epub";
        auto& pictures = books[threads[0] == '4'];
        for (const std::string& p : pagePictures(book))
            pictures.push_back(p + ":" + bookMember(book, "OEBPS/" + p));
        EXPECT_EQ(cli.err.rfind("warning: page 4: " + cli.dir / "in/broken.jpg" + ": ", 0), 0u) << cli.err;
    }
    ::unsetenv("PAGELUME_THREADS");
    EXPECT_TRUE(books[0] == books[1]) << "the same bytes on one thread and on four";
    const std::string book = cli.dir / "out/T.epub";
    EXPECT_EQ(pagePictures(book),
              (std::vector<std::string>{"big.jpg", "wide.jpg", "small.png", "broken.jpg", "big-2.jpg"}));
    for (const char* name : {"big.jpg", "wide.jpg", "big-2.jpg"}) {
        const auto size = image::imageSize(bookMember(book, std::string("OEBPS/") + name));
        ASSERT_TRUE(size) << name;
        EXPECT_TRUE(size->width <= 600 && size->height <= 800) << name;
        EXPECT_TRUE(size->width == 600 || size->height == 800) << name;
    }
    EXPECT_EQ(bookMember(book, "OEBPS/small.png"), small) << "already small: copied as it is";
    EXPECT_NE(bookMember(book, "OEBPS/fb.opf").find("href=\"wide.jpg\" media-type=\"image/jpeg\""),
              std::string::npos);

    // A strict fitted book, grey, passes the validator.
    ASSERT_EQ(cli.run({"--yes", "--strict", "--grey", "--fit", "kindle", "--title", "S", "--author",
                       "A", "--output", cli.dir / "out", cli.dir / "in/wide.png", cli.dir / "c.cbz"}),
              0)
        << cli.err;
    const std::string report = cli.dir / "epubcheck.txt";
    std::system(("java -jar /usr/share/java/epubcheck.jar '" + cli.dir / "out/S.epub" + "' >'" + report +
                 "' 2>&1").c_str());
    EXPECT_NE(readFile(report).find("No errors or warnings detected"), std::string::npos)
        << readFile(report);

    EXPECT_EQ(cli.run({"--fit", "phone", "--title", "T", "--author", "A", cli.dir / "in/big.jpg"}), 2);
    EXPECT_EQ(cli.run({"--quality", "101", "--fit", "kindle", cli.dir / "in/big.jpg"}), 2);
    EXPECT_EQ(cli.run({"--list-devices"}), 0);
    EXPECT_NE(cli.out.find("kindle-oasis"), std::string::npos);
}

}  // namespace
}  // namespace pagelume::app
