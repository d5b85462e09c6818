#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <random>
#include <set>

#include "platform/files.h"
#include "support/tempdir.h"
#include "zip/compression.h"
#include "zip/temp_archive.h"
#include "zip/zip_writer.h"
#include "zip_check.h"

namespace pagelume::zip {
namespace {

using test::readFile;
using test::TempDir;
using test::randomBytes;
using test::writeFile;
using namespace std::string_literals;

// A writer set up the way the program packs its staging directory.
void setUpForTree(TZipWriter& w, const std::string& root, const std::string& zipName) {
    w.setRootDir(root);
    w.setRelativePaths(true);
    w.setZipName(zipName);
    w.FilesList().push_back(root + "/*.*");
}

TEST(ZipWriter, WorkedExampleAndEmptyArchiveByteForByte) {
    TempDir src, out;
    writeFile(src / "a.txt", "");
    struct utimbuf times {
        1700000000, 1700000000
    };
    ASSERT_EQ(::utime((src / "a.txt").c_str(), &times), 0);
    const std::uint32_t t = platform::toDosDateTime(1700000000);
    const std::string tttt{static_cast<char>(t), static_cast<char>(t >> 8),
                           static_cast<char>(t >> 16), static_cast<char>(t >> 24)};
    const std::string expected =
        "PK\3\4\x14\0\0\0\x08\0"s + tttt + "\0\0\0\0\2\0\0\0\0\0\0\0\5\0\0\0a.txt\3\0"s +
        "PK\1\2\x2D\0\x14\0\0\0\x08\0"s + tttt + "\0\0\0\0\2\0\0\0\0\0\0\0\5\0\0\0\0\0\0\0\0\0"s +
        "\x20\0\0\0\0\0\0\0a.txt"s + "PK\5\6\0\0\0\0\1\0\1\0\x33\0\0\0\x25\0\0\0\0\0"s;
    ASSERT_EQ(expected.size(), 110u);

    TZipWriter w;
    w.setRootDir(src.path());
    w.FilesList().push_back("a.txt");
    w.setZipName(out / "a.zip");
    EXPECT_EQ(w.Zip(), 1);
    EXPECT_EQ(readFile(out / "a.zip"), expected);
    EXPECT_TRUE(w.FilesList().empty());

    // A tree with nothing to pack gives the bare end record.
    TempDir empty;
    std::filesystem::create_directory(empty / "sub");
    TZipWriter e;
    setUpForTree(e, empty.path(), out / "empty.zip");
    EXPECT_EQ(e.Zip(), 0);
    EXPECT_EQ(readFile(out / "empty.zip"), "PK\5\6"s + std::string(18, '\0'));
}

TEST(ZipWriter, PacksAStagingTreeInListingOrder) {
    TempDir root;
    const std::string image = randomBytes(300000, 1);  // several blocks, incompressible
    writeFile(root / "mimetype", "application/epub+zip");
    writeFile(root / "META-INF/container.xml", "<container/>");
    for (const char* page : {"page1.html", "page2.html", "page10.html"})
        writeFile(root / ("OEBPS/"s + page), std::string(5000, 'x') + page);
    writeFile(root / "OEBPS/Cover.PNG", image);
    writeFile(root / "OEBPS/ro.txt", "read only");
    ::chmod((root / "OEBPS/ro.txt").c_str(), 0444);
    // Passed over: hidden files and folders, pipes, empty folders, a link
    // back up the tree, and the archive itself, whose old copy is replaced.
    writeFile(root / ".lock", "");
    writeFile(root / "OEBPS/.git/config", "x");
    ASSERT_EQ(::mkfifo((root / "OEBPS/pipe").c_str(), 0644), 0);
    std::filesystem::create_directory(root / "OEBPS/empty");
    std::filesystem::create_directory_symlink("..", root / "OEBPS/loop");
    writeFile(root / "book.epub", "old book");

    std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
    TZipWriter w;
    setUpForTree(w, root.path(), root / "book.epub");
    w.setOnProgress(
        [&](std::uint64_t done, std::uint64_t total) { calls.emplace_back(done, total); });
    EXPECT_EQ(w.Zip(), 7);

    const auto view = test::readZip(root / "book.epub");
    EXPECT_EQ(test::entryNames(view),
              (std::vector<std::string>{"META-INF/container.xml", "mimetype", "OEBPS/Cover.PNG",
                                        "OEBPS/page1.html", "OEBPS/page10.html", "OEBPS/page2.html",
                                        "OEBPS/ro.txt"}));
    std::uint64_t formula = 22, total = 0;
    for (const auto& e : view.entries) {
        EXPECT_EQ(e.method * 0x10000 + e.flags, 0x80000u) << e.name;
        EXPECT_EQ(e.madeBy, 0x2Du) << e.name;
        EXPECT_EQ(e.externalAttributes, e.name == "OEBPS/ro.txt" ? 0x21u : 0x20u) << e.name;
        EXPECT_EQ(e.localExtraLength + e.centralExtraLength, 0u) << e.name;
        EXPECT_LE(e.compressedSize, worstCaseDataSize(e.uncompressedSize, false));
        formula += 30 + 46 + 2 * e.name.size() + e.compressedSize;
        total += e.uncompressedSize;
    }
    EXPECT_EQ(view.fileSize, formula);
    EXPECT_GT(view.entries[2].compressedSize, image.size());  // deflate grew it: still method 8
    test::expectReadersAccept(root / "book.epub");
    test::expectContentsMatch(root / "book.epub", root.path());

    // One call per file found (the old book too) before the sizes are known,
    // then one per block, the done count rising to the total.
    ASSERT_GE(calls.size(), 8u + 7 + 4);
    EXPECT_EQ(calls[7], std::make_pair(std::uint64_t{0}, std::uint64_t{0}));
    EXPECT_NE(calls[8].second, 0u);
    for (std::size_t i = 9; i < calls.size(); ++i)
        EXPECT_GE(calls[i].first, calls[i - 1].first);
    EXPECT_EQ(calls.back(), std::make_pair(total, total));
}

TEST(ZipWriter, NamesLevelsAndDuplicates) {
    TempDir root, out;
    writeFile(root / "Seite-\xC3\xA4.png", "umlaut");
    writeFile(root / "A.txt", "upper");
    writeFile(root / "a.txt", "lower");  // the same name to a case-blind reader: first wins
    writeFile(root / "sub/data.bin", std::string(100000, 'z'));

    for (int level : {0, 6, 9}) {
        SCOPED_TRACE(level);
        TZipWriter w;
        setUpForTree(w, root.path(), out / "t.zip");
        w.setPackLevel(level);
        w.NoCompressList().push_back("*.PNG");
        EXPECT_EQ(w.Zip(), 3);
        const auto view = test::readZip(out / "t.zip");
        ASSERT_EQ(test::entryNames(view),
                  (std::vector<std::string>{"A.txt", "Seite-\xC3\xA4.png", "sub/data.bin"}));
        for (const auto& e : view.entries) {
            const bool stored = level == 0 || e.name.ends_with(".png");
            const bool utf8 = e.name.starts_with("Seite");
            EXPECT_EQ(e.method, stored ? 0u : 8u) << e.name;
            EXPECT_TRUE(!stored || e.compressedSize == e.uncompressedSize) << e.name;
            EXPECT_EQ(e.flags, (level == 0 ? 4u : level == 9 ? 2u : 0u) | (utf8 ? 0x800u : 0u));
            EXPECT_EQ(e.madeBy, utf8 ? 0x0B2Du : 0x2Du) << e.name;
        }
        test::expectReadersAccept(out / "t.zip");
        test::expectContentsMatch(out / "t.zip", root.path());
    }
}

TEST(ZipWriter, NamesThatEncodeAlikeAreOneEntryAndBackslashesBecomeSlashes) {
    TempDir root, out;
    writeFile(root / "caf\xE9.txt", "latin-1 on disk");  // read as Latin-1: "café.txt"
    writeFile(root / "caf\xC3\xA9.txt", "utf-8 on disk");
    writeFile(root / "x\\y.png", "a backslash in a Linux name");
    writeFile(root / "x/y.png", "the same stored name");
    TZipWriter w;
    setUpForTree(w, root.path(), out / "n.zip");
    EXPECT_EQ(w.Zip(), 2);
    const auto view = test::readZip(out / "n.zip");
    EXPECT_EQ(test::entryNames(view),
              (std::vector<std::string>{"caf\xC3\xA9.txt", "x/y.png"}));
    EXPECT_EQ(view.entries[0].flags, 0x800u);
    test::expectReadersAccept(out / "n.zip");
}

TEST(ZipWriter, TheTemporaryArchiveIsLockedAndLeftoversAreSwept) {
    TempDir root, out;
    writeFile(root / "a.txt", "a");
    // What a killed run leaves behind, one held by a writer still at work,
    // and names of other shapes that are not ours to remove.
    writeFile(out / ".pagelume-AAAAAA.tmp", "stale");
    writeFile(out / ".pagelume-BBBBBB.tmp", "being written");
    writeFile(out / ".pagelume-CCCCCCC.tmp", "not the pattern");
    writeFile(out / "pagelume-DDDDDD.tmp", "not hidden");
    std::filesystem::create_directory(out / ".pagelume-EEEEEE.tmp");
    const int held = ::open((out / ".pagelume-BBBBBB.tmp").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

    TZipWriter w;
    setUpForTree(w, root.path(), out / "book.epub");
    bool lockedWhileWriting = false;
    w.setOnProgress([&](std::uint64_t done, std::uint64_t) {
        if (done == 0)
            return;
        for (const auto& e : std::filesystem::directory_iterator(out.path())) {
            const std::string name = e.path().filename();
            if (!isTempArchiveName(name) || name == ".pagelume-BBBBBB.tmp" || e.is_directory())
                continue;
            const int fd = ::open(e.path().c_str(), O_RDONLY | O_CLOEXEC);
            lockedWhileWriting = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
            ::close(fd);
        }
    });
    EXPECT_EQ(w.Zip(), 1);
    EXPECT_TRUE(lockedWhileWriting);
    std::set<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(out.path()))
        left.insert(e.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"book.epub", ".pagelume-BBBBBB.tmp",
                                           ".pagelume-CCCCCCC.tmp", "pagelume-DDDDDD.tmp",
                                           ".pagelume-EEEEEE.tmp"}));
    EXPECT_EQ(readFile(out / ".pagelume-BBBBBB.tmp"), "being written");
    ::close(held);
}

TEST(ZipWriter, FilesThatCannotBeExaminedOrListedFailTheRun) {
    auto failure = [](const std::string& root) {
        TempDir out;
        TZipWriter w;
        setUpForTree(w, root, out / "f.zip");
        try {
            w.Zip();
        } catch (const EInOutError& e) {
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 0);
            return std::string(e.what());
        }
        return std::string("no failure");
    };
    TempDir dangling;
    writeFile(dangling / "OEBPS/page1.html", "x");
    std::filesystem::create_symlink(dangling / "gone.png", dangling / "OEBPS/a.png");
    std::filesystem::create_symlink(dangling / "gone.png", dangling / "OEBPS/.hidden.png");
    EXPECT_EQ(failure(dangling.path()), dangling / "OEBPS/a.png: No such file or directory");
    std::filesystem::remove(dangling / "OEBPS/a.png");
    EXPECT_EQ(failure(dangling.path()), "no failure") << "a hidden name is never looked at";

    // Deeper than a path may be: its entries cannot be examined.
    TempDir deep;
    std::string rel = "OEBPS";
    while (rel.size() < 4200)
        rel += "/" + std::string(200, 'd');
    std::filesystem::create_directories(std::filesystem::path(deep.path()) / "x");
    const int base = ::open(deep.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(base, 0);
    std::size_t from = 0;
    int fd = base;
    for (std::size_t at; (at = rel.find('/', from)) != std::string::npos || from < rel.size();) {
        if (at == std::string::npos)
            at = rel.size();
        const std::string part = rel.substr(from, at - from);
        ASSERT_EQ(::mkdirat(fd, part.c_str(), 0755), 0);
        const int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd != base)
            ::close(fd);
        fd = next;
        from = at + 1;
    }
    ::close(fd);
    ::close(base);
    EXPECT_NE(failure(deep.path()).find("File name too long"), std::string::npos);

    // A folder nobody may read; root reads every folder, so a child that is
    // not root tries.
    TempDir locked;
    writeFile(locked / "mimetype", "m");
    writeFile(locked / "OEBPS/page1.html", "x");
    ::chmod(locked.path().c_str(), 0755);
    ::chmod((locked / "OEBPS").c_str(), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        TZipWriter w;
        setUpForTree(w, locked.path(), "/dev/null/never");
        try {
            w.Zip();
        } catch (const EInOutError& e) {
            ::_exit(std::string(e.what()) == locked / "OEBPS/: Permission denied" ? 0 : 3);
        }
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ::chmod((locked / "OEBPS").c_str(), 0755);
}

TEST(ZipWriter, SourceThatShrinksFailsTheRunAndOneThatGrowsIsTakenAsOpened) {
    TempDir root, out;
    const std::string data = randomBytes(1 << 20, 2);
    const std::string file = root / "page.bin";
    // At its third read, on whichever thread reads it, change the file.
    class ChangingIo : public FileIo {
    public:
        explicit ChangingIo(std::function<void()> change) : change_(std::move(change)) {}
        ssize_t read(int fd, void* buf, std::size_t n) override {
            if (++reads_ == 3)
                change_(), changed_ = true;
            return FileIo::read(fd, buf, n);
        }
        std::atomic<int> reads_ = 0;
        std::atomic<bool> changed_ = false;

    private:
        std::function<void()> change_;
    };
    auto packChanging = [&](const std::function<void()>& change) {
        writeFile(file, data);
        ChangingIo io(change);
        TZipWriter w(io);
        setUpForTree(w, root.path(), out / "s.zip");
        w.Zip();
        EXPECT_TRUE(io.changed_);
        return test::readZip(out / "s.zip").entries.at(0).uncompressedSize;
    };

    // Cut short: the book would silently lack the rest of the file.
    try {
        packChanging([&] { ASSERT_EQ(::truncate(file.c_str(), 1000), 0); });
        ADD_FAILURE() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), file + ": the file became shorter while it was read");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 0)
        << "nothing left behind";

    // Grown: the entry holds the file as it was when opened.
    EXPECT_EQ(packChanging([&] { writeFile(file, data + "more"); }), data.size());
    writeFile(file, data);
    test::expectContentsMatch(out / "s.zip", root.path());
}

}  // namespace
}  // namespace pagelume::zip
