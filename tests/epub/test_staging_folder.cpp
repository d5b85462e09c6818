// The staging folder holds the run's own files only, and the book it makes
// replaces an old one the way the old one was.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "epub/conversion_run.h"
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

class StagingFolder : public ::testing::Test {
protected:
    StagingFolder() {
        test::installContainerFiles(dir / "epubfiles");
        writeFile(dir / "in/a.png", "image a");
        book.pages = {dir / "in/a.png"};
        book.save = dir / "out";
        host.answer = true;
    }
    RunResult run() {
        ConversionRun r(book, host, dir / "epubfiles");
        return r.run();
    }

    TempDir dir;
    test::FakeBook book;
    test::FakeHost host;
};

TEST_F(StagingFolder, StrayFilesBesideTheBooksOwnStayOut) {
    writeFile(dir / "epubfiles/notes.txt", "not part of any book");
    writeFile(dir / "epubfiles/extra/planted.png", "planted");
    ASSERT_EQ(run(), RunResult::Built);
    std::string listing;
    FILE* pipe = ::popen(("unzip -Z1 '" + (dir / "out/Book.epub") + "' 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::array<char, 4096> buf;
    while (std::size_t n = std::fread(buf.data(), 1, buf.size(), pipe))
        listing.append(buf.data(), n);
    if (::pclose(pipe) != 0)
        GTEST_SKIP() << "unzip is not installed: " << listing;
    EXPECT_EQ(listing,
              "mimetype\nMETA-INF/container.xml\nOEBPS/a.png\nOEBPS/fb.ncx\nOEBPS/fb.opf\n"
              "OEBPS/page1.html\nOEBPS/stylesheet.css\n");
}

TEST_F(StagingFolder, ASaveFolderThatIsTheStagingFolderUnderAnotherNameIsRefused) {
    fs::create_directories(dir / "mnt");
    if (::mount((dir / "epubfiles").c_str(), (dir / "mnt").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "a bind mount needs root";
    book.save = dir / "mnt/out";
    const RunResult result = run();
    ::umount2((dir / "mnt").c_str(), MNT_DETACH);
    EXPECT_EQ(result, RunResult::Stopped);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, texts::kSavePathInStaging);
    EXPECT_FALSE(fs::exists(dir / "epubfiles/out"));
}

TEST_F(StagingFolder, AReplacedBookKeepsItsModeAndADanglingLinkIsAnExistingBook) {
    writeFile(dir / "out/Book.epub", "old");
    ::chmod((dir / "out/Book.epub").c_str(), 0444);
    ASSERT_EQ(run(), RunResult::Built);
    EXPECT_EQ(host.questions.size(), 1u);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "out/Book.epub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(readFile(dir / "out/Book.epub").substr(0, 2), "PK");

    fs::remove(dir / "out/Book.epub");
    fs::create_symlink(dir / "nowhere.epub", dir / "out/Book.epub");
    host = test::FakeHost();
    host.answer = false;
    EXPECT_EQ(run(), RunResult::Stopped);
    EXPECT_EQ(host.questions.size(), 1u) << "the link's name is taken";
    host.answer = true;
    host.questions.clear();
    ASSERT_EQ(run(), RunResult::Built);
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_FALSE(fs::is_symlink(dir / "out/Book.epub")) << "the link itself is replaced";
    EXPECT_FALSE(fs::exists(dir / "nowhere.epub"));
}

TEST_F(StagingFolder, RemovingAnEarlierBooksFilesIsShownAsItGoes) {
    for (int i = 0; i < 3000; ++i)
        writeFile(dir / ("epubfiles/OEBPS/p" + std::to_string(i) + ".png"), "x");
    writeFile(dir / "epubfiles/OEBPS/sub/deeper/file", "x");
    ASSERT_EQ(run(), RunResult::Built);
    std::vector<std::uint64_t> done;
    for (const auto& p : host.progressSeen) {
        if (p.stage == RunStage::Cleaning) {
            EXPECT_EQ(p.total, 3001u);
            done.push_back(p.done);
        }
    }
    EXPECT_EQ(done, (std::vector<std::uint64_t>{0, 1024, 2048, 3001}));
    ASSERT_FALSE(host.progressSeen.empty());
    EXPECT_EQ(host.progressSeen.front().stage, RunStage::Cleaning) << "before the copies";
    EXPECT_GE(host.events, 4);
    EXPECT_FALSE(fs::exists(dir / "epubfiles/OEBPS/p0.png"));
    EXPECT_FALSE(fs::exists(dir / "epubfiles/OEBPS/sub"));
}

}  // namespace
}  // namespace pagelume::epub
