#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "epub/conversion_run.h"
#include "epub/image_namer.h"
#include "epub/page_wrapper.h"
#include "epub/staging_lock.h"
#include "epub/texts.h"
#include "fake_book.h"
#include "platform/files.h"
#include "support/tempdir.h"

namespace pagelume::epub {
namespace {

namespace fs = std::filesystem;
using test::FakeBook;
using test::FakeHost;
using test::readFile;
using test::TempDir;
using test::writeFile;

// A staging directory as the program installs it, and some page images.
class ConversionRunTest : public ::testing::Test {
protected:
    ConversionRunTest() {
        test::installContainerFiles(staging());
        writeFile(dir / "in/a.png", "image a");
        writeFile(dir / "in/b.png", "image b");
        writeFile(dir / "other/a.png", "another a");
        book.pages = {dir / "in/a.png", dir / "in/b.png"};
        book.save = dir / "out";
    }

    std::string staging() const { return dir / "epubfiles"; }
    std::string content() const { return staging() + "/OEBPS"; }
    RunResult run() {
        ConversionRun r(book, host, staging());
        return r.run();
    }
    std::string wrapperImage(int n) const {
        const std::string text = readFile(content() + "/page" + std::to_string(n) + ".html");
        auto start = text.find("<img src=\"") + 10;
        return text.substr(start, text.find('"', start) - start);
    }

    TempDir dir;
    FakeBook book;
    FakeHost host;
};

TEST_F(ConversionRunTest, EmptyListDoesNothingAndSaysNothing) {
    book.pages.clear();
    EXPECT_EQ(run(), RunResult::Nothing);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.maxBusy, 0);
    EXPECT_FALSE(platform::pathExists(content()));
}

TEST_F(ConversionRunTest, FieldChecksComeInOrderAfterTheContentIsRebuilt) {
    writeFile(content() + "/stale.png", "from an earlier book");
    struct Case {
        std::string save, title, author, message;
    };
    const std::string save = dir / "out";
    for (const Case& c : {Case{"", "", "", texts::kSavePathEmpty},
                          Case{save, "", "", texts::kTitleEmpty},
                          Case{save, "T", "", texts::kAuthorEmpty},
                          Case{save, "a/b", "A", texts::kTitleNotFileName},
                          Case{save, "..", "A", texts::kTitleEmpty},
                          Case{save, std::string(251, 't'), "A", texts::kTitleNotFileName},
                          Case{staging() + "/META-INF/../x", "T", "A", texts::kSavePathInStaging}}) {
        host = FakeHost();
        book.save = c.save;
        book.titleText = c.title;
        book.authorText = c.author;
        EXPECT_EQ(run(), RunResult::Stopped);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, c.message);
        EXPECT_EQ(host.messages[0].caption, "Note!");
        EXPECT_EQ(host.busy, 0) << "the cursor is restored";
        EXPECT_EQ(host.maxBusy, 1);
        EXPECT_TRUE(host.questions.empty());
    }
    EXPECT_FALSE(platform::pathExists(content() + "/stale.png"));
    EXPECT_EQ(readFile(content() + "/a.png"), "image a");
    EXPECT_EQ(readFile(content() + "/b.png"), "image b");
    EXPECT_EQ(wrapperImage(1), "a.png");
    EXPECT_EQ(wrapperImage(2), "b.png");
    EXPECT_FALSE(platform::pathExists(dir / "out"));
    EXPECT_FALSE(platform::pathExists(dir / "a"));
}

TEST_F(ConversionRunTest, SameNamedDifferentFilesEachGetACopyOfTheirOwn) {
    writeFile(dir / "caps/A.PNG", "capital a");
    writeFile(dir / "cov/b.png", "cover b");
    writeFile(dir / "x/page2.html", "an image named like a wrapper");
    writeFile(dir / "x/.b.png", "a hidden file");
    book.pages = {dir / "in/a.png", dir / "other/a.png", dir / "in/a.png", dir / "caps/A.PNG",
                  dir / "in/../in/b.png", dir / "missing/a.png", dir / "x/page2.html", dir / "x/.b.png"};
    book.cover = dir / "cov/b.png";
    book.save.clear();  // stop at the checks: only the staging tree matters here
    run();
    EXPECT_EQ(wrapperImage(1), "a.png");
    EXPECT_EQ(wrapperImage(2), "a-2.png");
    EXPECT_EQ(wrapperImage(3), "a.png") << "the same file shares its copy";
    EXPECT_EQ(wrapperImage(4), "A-3.PNG") << "names differing in case would collide in the book";
    EXPECT_EQ(wrapperImage(5), "b.png");
    EXPECT_EQ(wrapperImage(6), "a-4.png") << "a missing file still gets a name of its own";
    EXPECT_EQ(wrapperImage(7), "page2-2.html");
    EXPECT_EQ(wrapperImage(8), "b-2.png") << "hidden files are never packed";
    EXPECT_EQ(readFile(content() + "/b-2.png"), "a hidden file");
    EXPECT_EQ(readFile(content() + "/a.png"), "image a");
    EXPECT_EQ(readFile(content() + "/a-2.png"), "another a");
    EXPECT_EQ(readFile(content() + "/A-3.PNG"), "capital a");
    EXPECT_EQ(readFile(content() + "/b-3.png"), "cover b");
    EXPECT_FALSE(platform::pathExists(content() + "/a-4.png"));
    EXPECT_NE(readFile(content() + "/cover.html").find("src=\"b-3.png\""), std::string::npos);
}

TEST_F(ConversionRunTest, CoverThatIsAPageSharesItsCopy) {
    book.cover = dir / "in/b.png";
    book.save.clear();
    run();
    EXPECT_NE(readFile(content() + "/cover.html").find("src=\"b.png\""), std::string::npos);
    EXPECT_FALSE(platform::pathExists(content() + "/b-2.png"));
}

TEST_F(ConversionRunTest, AnExistingBookStaysWhenTheAnswerIsNo) {
    writeFile(dir / "out/Book.epub", "the old book");
    host.answer = false;
    EXPECT_EQ(run(), RunResult::Stopped);
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].text, "The file is existing. Overwrite?");
    EXPECT_EQ(host.questions[0].caption, "Information");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(readFile(dir / "out/Book.epub"), "the old book");
    EXPECT_EQ(host.busy, 0);
}

TEST_F(ConversionRunTest, AnswerYesReplacesTheBook) {
    writeFile(dir / "out/Book.epub", "the old book");
    host.answer = true;
    EXPECT_EQ(run(), RunResult::Built);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Successed to build: " + (dir / "out/Book.epub"));
    EXPECT_EQ(host.messages[0].caption, "Congratulation");
    EXPECT_EQ(readFile(dir / "out/Book.epub").substr(0, 2), "PK");
    EXPECT_EQ(host.opened, std::vector<std::string>{dir / "out"});
}

TEST_F(ConversionRunTest, BuildsIntoASavePathCreatedAtAnyDepth) {
    book.save = dir / "deep/er/still";
    EXPECT_EQ(run(), RunResult::Built);
    EXPECT_TRUE(platform::fileExists(dir / "deep/er/still/Book.epub"));
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(host.busy, 0);
    EXPECT_GT(host.events, 0) << "window events are let through while packing";
}

TEST_F(ConversionRunTest, AFailedArchiveIsReportedAndOpensNothing) {
    writeFile(dir / "blocker", "a file where the folder should be");
    book.save = dir / "blocker";
    EXPECT_EQ(run(), RunResult::Failed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Failed to build: " + (dir / "blocker/Book.epub"));
    EXPECT_EQ(host.messages[0].caption, "Note!");
    EXPECT_TRUE(host.opened.empty());
    EXPECT_EQ(host.busy, 0);
}

TEST_F(ConversionRunTest, ASecondConversionAtTheSameTimeIsRefused) {
    writeFile(content() + "/page1.html", "being packed by someone else");
    StagingLock other(staging());
    ASSERT_TRUE(other.acquired());
    EXPECT_EQ(run(), RunResult::Stopped);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, texts::kConversionBusy);
    EXPECT_EQ(readFile(content() + "/page1.html"), "being packed by someone else");
    std::string reason;
    EXPECT_TRUE(removeContentDirectory(staging(), &reason));
    EXPECT_TRUE(platform::pathExists(content())) << "shutdown leaves a tree in use alone";
}

TEST_F(ConversionRunTest, ADocumentThatCannotBeSavedEndsTheRunWithItsException) {
    // Something takes the content directory's place once the pages are in it.
    struct TakenAway : FakeBook {
        std::string content;
        std::string author() const override {
            std::error_code ec;
            fs::remove_all(content, ec);
            writeFile(content, "not a folder");
            return FakeBook::author();
        }
    } taken;
    static_cast<FakeBook&>(taken) = book;
    taken.content = content();
    ConversionRun r(taken, host, staging());
    EXPECT_THROW(r.run(), std::exception);
    EXPECT_EQ(host.busy, 0) << "the cursor is restored on the way out";
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(platform::pathExists(dir / "out/Book.epub"));
}

TEST_F(ConversionRunTest, APageOrCoverThatIsNoRegularFileIsALostImageNeverWaitedOn) {
    ::alarm(60);  // a run that waits on the pipe ends the test instead of hanging it
    ASSERT_EQ(::mkfifo((dir / "pipe.png").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((dir / "cover.png").c_str(), 0644), 0);
    book.pages = {dir / "in/a.png", dir / "pipe.png", "/dev/zero", dir / "gone.png", dir / "pipe.png"};
    book.cover = dir / "cover.png";
    EXPECT_EQ(run(), RunResult::Built);
    ::alarm(0);
    EXPECT_EQ(host.notCopied, (std::vector<std::string>{
                                  "2: " + (dir / "pipe.png") + ": not a regular file",
                                  "3: /dev/zero: not a regular file",
                                  "4: " + (dir / "gone.png") + ": No such file or directory",
                                  "5: " + (dir / "pipe.png") + ": not a regular file",
                                  "0: " + (dir / "cover.png") + ": not a regular file"}));
    EXPECT_EQ(wrapperImage(2), "pipe.png") << "the page stays, as for a missing image";
    EXPECT_FALSE(platform::pathExists(content() + "/pipe.png"));
    EXPECT_FALSE(platform::pathExists(content() + "/zero"));
    EXPECT_TRUE(platform::fileExists(content() + "/cover.html"));
}

TEST_F(ConversionRunTest, WithoutItsContainerFilesNothingIsTouched) {
    const std::string mimetype = staging() + "/mimetype";
    const std::string container = staging() + "/META-INF/container.xml";
    const std::string good = readFile(container);
    const std::pair<std::function<void()>, std::string> damages[] = {
        {[&] { std::filesystem::remove(mimetype); }, mimetype},
        {[&] { writeFile(mimetype, "application/epub+zip\n"); }, mimetype},
        {[&] { writeFile(mimetype, "application/zip"); }, mimetype},
        {[&] { std::filesystem::remove(container); }, container},
        {[&] { writeFile(container, good.substr(0, 60)); }, container},
        {[&] { std::filesystem::remove(container), ::mkfifo(container.c_str(), 0644); }, container},
    };
    for (const auto& [damage, path] : damages) {
        TempDir fresh;
        test::installContainerFiles(fresh.path());
        damage();
        host = FakeHost();
        EXPECT_EQ(run(), RunResult::Stopped);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text,
                  "Pagelume is not installed completely: " + path + " is missing or damaged.");
        EXPECT_EQ(host.messages[0].caption, "Note!");
        EXPECT_EQ(host.maxBusy, 0);
        EXPECT_FALSE(platform::pathExists(content()));
        EXPECT_FALSE(platform::pathExists(staging() + "/.pagelume.lock")) << "nothing written";
        EXPECT_FALSE(platform::pathExists(dir / "out"));
        std::filesystem::remove(container);
        test::installContainerFiles(staging());
    }
}

TEST_F(ConversionRunTest, ProgressAndEventsComeAfterEveryPageAndEveryBlock) {
    book.cover = dir / "other/a.png";
    EXPECT_EQ(run(), RunResult::Built);
    std::vector<std::uint64_t> copied;
    bool packed = false;
    for (const auto& p : host.progressSeen) {
        if (p.stage == RunStage::Copying) {
            EXPECT_FALSE(packed) << "copying comes first";
            EXPECT_EQ(p.total, 3u);
            copied.push_back(p.done);
        } else {
            packed = true;
        }
    }
    EXPECT_EQ(copied, (std::vector<std::uint64_t>{0, 1, 2, 3}));
    EXPECT_TRUE(packed);
    EXPECT_GE(host.events, 3 + 1 + 4) << "after each page, before packing and while packing";
}

TEST_F(ConversionRunTest, AnInterruptedRunLeavesNothingOfTheNewBook) {
    writeFile(dir / "in/big.png", std::string(3 << 20, 'b'));
    book.pages.push_back(dir / "in/big.png");
    writeFile(dir / "out/Book.epub", "the old book");
    host.answer = true;
    for (const RunStage stage : {RunStage::Copying, RunStage::Packing}) {
        host.onEvents = [&, stage] {
            if (!host.progressSeen.empty() && host.progressSeen.back().stage == stage &&
                host.progressSeen.back().done > 0)
                throw ERunInterrupted("interrupted");
        };
        ConversionRun r(book, host, staging());
        EXPECT_THROW(r.run(), ERunInterrupted);
        EXPECT_EQ(host.busy, 0);
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(dir / "out"))
            left.push_back(e.path().filename());
        EXPECT_EQ(left, std::vector<std::string>{"Book.epub"});
        EXPECT_EQ(readFile(dir / "out/Book.epub"), "the old book");
        host = FakeHost();
        host.answer = true;
    }
}

// The book with every entry's time and date zeroed, in its local and its
// central header: a conversion stamps the staged files with the time it
// copies them. (The test's data cannot hold a header's signature.)
std::string withoutTimes(std::string zip) {
    for (std::size_t i = 0; i + 46 <= zip.size(); ++i) {
        if (zip.compare(i, 4, "PK\x03\x04") == 0)
            zip.replace(i + 10, 4, 4, '\0');
        else if (zip.compare(i, 4, "PK\x01\x02") == 0)
            zip.replace(i + 12, 4, 4, '\0');
    }
    return zip;
}

TEST_F(ConversionRunTest, TheBookIsTheSameOnOneThreadAndOnFour) {
    // Images deflated while the book is still being staged, among them one
    // larger than a worker holds, one in two pages and the cover; data of
    // zeros, so that no signature can appear inside it by chance.
    writeFile(dir / "in/c.png", std::string(5 << 20, '\0'));
    writeFile(dir / "in/cover.png", std::string(70000, '\0'));
    book.pages.push_back(dir / "in/c.png");
    book.pages.push_back(dir / "in/a.png");
    book.cover = dir / "in/cover.png";
    host.answer = true;
    std::string books[2];
    for (const char* threads : {"1", "4"}) {
        ::setenv("PAGELUME_THREADS", threads, 1);
        EXPECT_EQ(run(), RunResult::Built);
        books[threads[0] == '4'] = withoutTimes(readFile(dir / "out/Book.epub"));
    }
    ::unsetenv("PAGELUME_THREADS");
    EXPECT_TRUE(books[0] == books[1]) << "the same bytes on one thread and on four";
    EXPECT_GT(books[0].size(), std::size_t{5000});
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(staging()))
        left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".pagelume.lock", "META-INF", "OEBPS", "mimetype"}))
        << "no spool file left";
}

TEST(ImageNames, CleanNamesAndSuffixesThatCountOn) {
    EXPECT_EQ(bookImageName("a\\b\x01" "c\x7F\td\xE9\xC3\xA9 #%&.png"), "a_b_c__d_\xC3\xA9 #%&.png");
    EXPECT_EQ(bookImageName("..hidden.png"), "hidden.png");
    EXPECT_EQ(bookImageName("..."), "image");
    EXPECT_EQ(bookImageName("\xF0\x9F\x93\x96.png"), "\xF0\x9F\x93\x96.png");  // U+1F4D6 stays
    EXPECT_EQ(bookImageName("\xED\xA0\x80.png"), "___.png") << "a surrogate is no UTF-8";

    TempDir dir;
    for (const char* f : {"x/a.png", "y/a.png", "z/a.png", "a-2.png", "w/a_b.png", "v/a\\b.png"})
        writeFile(dir / f, f);
    ImageNamer namer(12);
    const auto name = [&](const std::string& f) { return namer.nameFor(dir / f).name; };
    EXPECT_EQ(name("x/a.png"), "a.png");
    EXPECT_EQ(name("y/a.png"), "a-2.png");
    EXPECT_EQ(name("a-2.png"), "a-2-2.png") << "a real file named like a suffix";
    EXPECT_EQ(name("z/a.png"), "a-3.png");
    EXPECT_TRUE(namer.nameFor(dir / "x/../x/a.png").first == false);
    EXPECT_EQ(name("w/a_b.png"), "a_b.png");
    EXPECT_EQ(name("v/a\\b.png"), "a_b-2.png") << "cleaned names still get names of their own";
    ImageNamer wrappers(12);
    EXPECT_EQ(wrappers.nameFor("/m/page12.html").name, "page12-2.html");
    EXPECT_EQ(wrappers.nameFor("/m/page13.html").name, "page13.html");
    EXPECT_EQ(wrappers.nameFor("/m/page01.html").name, "page01.html");
    EXPECT_EQ(wrappers.nameFor("/m/FB.OPF").name, "FB-2.OPF");
}

TEST(ConversionRunHelpers, TitlesAndPaths) {
    EXPECT_TRUE(titleUsableAsFileName("My Book: Vol. 1 \xC3\xA9"));
    EXPECT_TRUE(titleUsableAsFileName(".hidden"));
    EXPECT_TRUE(titleUsableAsFileName(std::string(250, 'x')));
    EXPECT_FALSE(titleUsableAsFileName(std::string(251, 'x')));
    EXPECT_FALSE(titleUsableAsFileName("a/b"));
    EXPECT_FALSE(titleUsableAsFileName("."));

    EXPECT_TRUE(pathInside("/a/epubfiles", "/a/epubfiles"));
    EXPECT_TRUE(pathInside("/a/epubfiles/OEBPS/x", "/a/epubfiles/"));
    EXPECT_TRUE(pathInside("/a/b/../epubfiles/x", "/a/epubfiles"));
    EXPECT_FALSE(pathInside("/a/epubfiles2", "/a/epubfiles"));
    EXPECT_FALSE(pathInside("/a", "/a/epubfiles"));
}

}  // namespace
}  // namespace pagelume::epub
