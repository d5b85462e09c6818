#include <gtest/gtest.h>

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
    int run(std::vector<std::string> args, const std::string& input = "", bool tty = false) {
        std::istringstream in(input);
        std::ostringstream o, e;
        int status = runCommandLine(args, dir / "epubfiles", in, o, e, tty);
        out = o.str();
        err = e.str();
        return status;
    }
};

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

}  // namespace
}  // namespace pagelume::app
