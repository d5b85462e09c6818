// Names a reader or a file system would trip over, and a staging folder that
// cannot be written.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <set>

#include "epub/conversion_run.h"
#include "epub/image_namer.h"
#include "epub/name_folding.h"
#include "epub/texts.h"
#include "fake_book.h"
#include "platform/files.h"
#include "support/tempdir.h"

namespace pagelume::epub {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

bool validUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

TEST(LongNames, ASuffixNeverPushesANamePastTheFileSystemsLimit) {
    TempDir dir;
    // 3-byte characters, so that a cut at a byte count falls inside one.
    std::string stem;
    while (stem.size() < NAME_MAX - 4)
        stem += "\xE5\x9B\xBE";
    stem.resize(NAME_MAX - 4 - (NAME_MAX - 4) % 3);  // whole characters only
    for (const std::string folder : {"a", "b", "c"})
        writeFile(dir / (folder + "/" + stem + ".png"), "image in " + folder);
    test::installContainerFiles(dir / "epubfiles");
    test::FakeBook book;
    book.pages = {dir / ("a/" + stem + ".png"), dir / ("b/" + stem + ".png"),
                  dir / ("c/" + stem + ".png")};
    book.save = dir / "out";
    test::FakeHost host;
    ConversionRun run(book, host, dir / "epubfiles");
    ASSERT_EQ(run.run(), RunResult::Built);
    EXPECT_TRUE(host.notCopied.empty()) << host.notCopied.front();
    // The file system itself decides whether the names fit.
    std::set<std::string> copies;
    for (const auto& e : fs::directory_iterator(dir / "epubfiles/OEBPS"))
        if (e.path().extension() == ".png")
            copies.insert(readFile(e.path()));
    EXPECT_EQ(copies, (std::set<std::string>{"image in a", "image in b", "image in c"}));
    ImageNamer namer(3);
    EXPECT_EQ(namer.nameFor(book.pages[0]).name, stem + ".png");
    for (int i = 1; i < 3; ++i) {
        const std::string name = namer.nameFor(book.pages[i]).name;
        EXPECT_LE(name.size(), std::size_t(NAME_MAX));
        EXPECT_TRUE(validUtf8(name)) << "cut at a character boundary";
        EXPECT_EQ(name.substr(name.size() - 6), "-" + std::to_string(i + 1) + ".png");
    }
}

TEST(StrictNames, CaseAndUnicodeSpellingsAreOneNameAndExtensionsFollowContent) {
    TempDir dir;
    const std::string nfc = "caf\xC3\xA9.png", nfd = "cafe\xCC\x81.png";
    for (const std::string& f :
         {std::string("1/\xC3\x84.png"), std::string("2/\xC3\xA4.png"), "3/" + nfc, "4/" + nfd})
        writeFile(dir / f, f);
    ImageNamer strict(20, true);
    const auto name = [&](const std::string& f, const char* type = "image/png") {
        return strict.nameFor(dir / f, type).name;
    };
    EXPECT_EQ(name("1/\xC3\x84.png"), "\xC3\x84.png");
    EXPECT_EQ(name("2/\xC3\xA4.png"), "\xC3\xA4-2.png") << "differs only in case";
    EXPECT_EQ(name("4/" + nfd), nfc) << "written composed";
    EXPECT_EQ(name("3/" + nfc), "caf\xC3\xA9-2.png") << "the same name spelled another way";

    for (const char* f : {"photo.png", "pic.jpg", "scan", "page1.html", "anim.GIF", "x.jpeg"})
        writeFile(dir / ("5/" + std::string(f)), f);
    EXPECT_EQ(name("5/photo.png", "image/jpeg"), "photo.jpg");
    EXPECT_EQ(name("5/pic.jpg", "image/png"), "pic.png");
    EXPECT_EQ(name("5/scan"), "scan.png");
    EXPECT_EQ(name("5/page1.html", "image/gif"), "page1.gif");
    EXPECT_EQ(name("5/anim.GIF", "image/gif"), "anim.GIF") << "an extension that fits stays";
    EXPECT_EQ(name("5/x.jpeg", "image/jpeg"), "x.jpeg");

    ImageNamer plain(20);
    EXPECT_EQ(plain.nameFor(dir / "1/\xC3\x84.png", "image/png").name, "\xC3\x84.png");
    EXPECT_EQ(plain.nameFor(dir / "2/\xC3\xA4.png", "image/png").name, "\xC3\xA4.png")
        << "other books keep their names as they were";
    EXPECT_EQ(plain.nameFor(dir / "5/scan", "image/png").name, "scan");
    EXPECT_EQ(foldedName("\xC3\x84"), foldedName("a\xCC\x88"));
}

TEST(Titles, BlankOrHiddenTitlesAreNoTitles) {
    TempDir dir;
    test::installContainerFiles(dir / "epubfiles");
    writeFile(dir / "in/a.png", "a");
    for (const std::string title : {"   ", "\t \xC2\xA0\xE3\x80\x80", ".hidden", " x", "x"}) {
        test::FakeBook book;
        book.pages = {dir / "in/a.png"};
        book.save = dir / "out";
        book.titleText = title;
        test::FakeHost host;
        host.answer = true;
        ConversionRun run(book, host, dir / "epubfiles");
        const bool refused =
            title.find_first_not_of(" \t\xC2\xA0\xE3\x80") == std::string::npos || title[0] == '.';
        EXPECT_EQ(run.run(), refused ? RunResult::Stopped : RunResult::Built) << title;
        ASSERT_FALSE(host.messages.empty());
        if (refused) {
            EXPECT_EQ(host.messages[0].text, texts::kTitleEmpty) << title;
        }
    }
    EXPECT_FALSE(fs::exists(dir / "out/.hidden.epub"));
}

// A write into the staging folder that fails (here past a file-size limit,
// as a full disk fails it) ends the run as a failure; a page that cannot be
// read does not.
TEST(StagingWrites, AFailedCopyOrWrapperFailsTheRunAndLeavesNothing) {
    TempDir dir;
    test::installContainerFiles(dir / "epubfiles");
    writeFile(dir / "in/big.png", std::string(256 * 1024, 'x'));
    writeFile(dir / "in/small.png", "small");
    struct Case {
        rlim_t limit;
        std::string expectedFile;
    };
    for (const Case& c : {Case{64 * 1024, "OEBPS/big.png"}, Case{100, "OEBPS/page1.html"}}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const struct rlimit limit { c.limit, c.limit };
            ::setrlimit(RLIMIT_FSIZE, &limit);
            test::FakeBook book;
            if (c.limit == 100)
                book.pages = {dir / "in/small.png"};
            else  // the unreadable page only warns; the copy that cannot be written fails
                book.pages = {dir / "in/missing.png", dir / "in/big.png"};
            book.save = dir / "out";
            test::FakeHost host;
            ConversionRun run(book, host, dir / "epubfiles");
            const RunResult result = run.run();
            const std::string expected = "Cannot write " + (dir / "epubfiles/" + c.expectedFile) +
                                         ": " + platform::errorText(EFBIG);
            const bool ok =
                result == RunResult::Failed && host.messages.size() == 1 &&
                host.messages[0].text == "Failed to build: " + (dir / "out/Book.epub") &&
                run.failureReason() == expected &&
                host.notCopied.size() == (c.limit == 100 ? 0u : 1u) &&
                !fs::exists(dir / "epubfiles/OEBPS") && !fs::exists(dir / "out");
            if (!ok)
                std::fprintf(stderr, "result %d, reason '%s', messages %zu\n",
                             static_cast<int>(result), run.failureReason().c_str(),
                             host.messages.size());
            ::_exit(ok ? 0 : 1);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.expectedFile;
    }
}

}  // namespace
}  // namespace pagelume::epub
