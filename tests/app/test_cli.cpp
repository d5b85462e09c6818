#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "app/cli.h"
#include "platform/files.h"
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
    EXPECT_EQ(cli.run(with({cli.dir / "empty"})), 2) << "a folder without pages gives no pages";
    EXPECT_NE(cli.err.find("no pages given"), std::string::npos);
    EXPECT_EQ(cli.run({"--help"}), 0);
    EXPECT_NE(cli.out.find("--sort"), std::string::npos);
}

}  // namespace
}  // namespace pagelume::app
