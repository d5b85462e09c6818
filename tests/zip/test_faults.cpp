#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <random>
#include <set>

#include "support/tempdir.h"
#include "zip/zip_writer.h"

namespace pagelume::zip {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;
using Outcome = std::pair<std::string, std::string>;  // exception class, message

void makeTree(const TempDir& root, std::size_t bigSize) {
    std::mt19937 gen(7);
    std::string big(bigSize, '\0');
    for (auto& c : big)
        c = static_cast<char>(gen());
    writeFile(root / "a-big.png", big);  // first, so it fills the buffer
    writeFile(root / "mimetype", "application/epub+zip");
    writeFile(root / "OEBPS/page1.html", "<html/>");
}

// Packs root into out/book.epub, where an old book lies, expecting a
// failure; checks that the old book is all the folder holds, untouched.
Outcome failingRun(const TempDir& root, const TempDir& out, FileIo& io = FileIo::system(),
                   const TZipWriter::TProgress& progress = {}) {
    writeFile(out / "book.epub", "old book");
    TZipWriter w(io);
    w.setRootDir(root.path());
    w.FilesList().push_back(root.path() + "/*.*");
    w.setZipName(out / "book.epub");
    w.setOnProgress(progress);
    Outcome outcome{"none", ""};
    try {
        w.Zip();
    } catch (const Exception& e) {
        outcome = {e.className(), e.what()};
    }
    EXPECT_TRUE(w.FilesList().empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 1);
    EXPECT_EQ(readFile(out / "book.epub"), "old book");
    return outcome;
}

// Makes one kind of system call fail, on the archive file or a source.
// Sources are read on worker threads too, hence the atomic count.
class FaultyIo : public FileIo {
public:
    enum Fault { kWrite, kPwrite, kFsync, kClose, kRead, kRename, kCreate };
    explicit FaultyIo(Fault fault) : fault_(fault) {}

    int mkstemps(std::string& name, int suffix) override {
        return fault_ == kCreate ? fail(EACCES) : (archive_ = FileIo::mkstemps(name, suffix));
    }
    ssize_t write(int fd, const void* buf, std::size_t n) override {
        return fault_ == kWrite && fd == archive_ ? fail(ENOSPC) : FileIo::write(fd, buf, n);
    }
    ssize_t pwrite(int fd, const void* buf, std::size_t n, off_t at) override {
        return fault_ == kPwrite ? fail(ENOSPC) : FileIo::pwrite(fd, buf, n, at);
    }
    int fsync(int fd) override { return fault_ == kFsync ? fail(EIO) : FileIo::fsync(fd); }
    int close(int fd) override {
        const int rc = FileIo::close(fd);
        return fault_ == kClose && fd == archive_ ? fail(EIO) : rc;
    }
    ssize_t read(int fd, void* buf, std::size_t n) override {
        return fault_ == kRead && ++reads_ > 1 ? fail(EIO) : FileIo::read(fd, buf, n);
    }
    int rename(const std::string& from, const std::string& to) override {
        return fault_ == kRename ? fail(EXDEV) : FileIo::rename(from, to);
    }

private:
    static int fail(int err) {
        errno = err;
        return -1;
    }
    Fault fault_;
    int archive_ = -1;  // set before any worker starts
    std::atomic<int> reads_ = 0;
};

TEST(ZipWriterFaults, EveryFailedCallLeavesTheOldBookAlone) {
    TempDir root, small, out;
    makeTree(root, 300000);
    makeTree(small, 100);
    const std::string room = kNotEnoughRoom, eio = "Input/output error";
    const struct {
        FaultyIo::Fault fault;
        const TempDir& tree;
        Outcome outcome;
    } cases[] = {
        {FaultyIo::kWrite, root, {"ENotEnoughRoom", room}},
        // Small files stay in the buffer until the first local header is
        // rewritten: the seek error.
        {FaultyIo::kWrite, small, {"EInOutError", "\nSeek error"}},
        {FaultyIo::kPwrite, root, {"ENotEnoughRoom", room}},
        {FaultyIo::kFsync, root, {"EInOutError", eio}},
        {FaultyIo::kClose, root, {"EInOutError", eio}},
        {FaultyIo::kRead, root, {"EInOutError", root / "a-big.png: " + eio}},
        {FaultyIo::kRename, root, {"EInOutError", "Invalid cross-device link"}},
        {FaultyIo::kCreate, root, {"EInOutError", "Permission denied"}},
    };
    for (const auto& c : cases) {
        FaultyIo io(c.fault);
        EXPECT_EQ(failingRun(c.tree, out, io), c.outcome) << c.fault;
    }
    // Whatever the progress callback throws ends the run the same way: it is
    // how a caller cancels.
    EXPECT_EQ(failingRun(root, out, FileIo::system(),
                         [](std::uint64_t done, std::uint64_t) {
                             if (done > 0)
                                 throw EInOutError("cancelled");
                         }),
              Outcome("EInOutError", "cancelled"));
}

TEST(ZipWriterFaults, FullDiskForReal) {
    TempDir root, out;
    makeTree(root, 1 << 20);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The file-size limit stands in for a full disk: writes past it fail
        // with EFBIG instead of killing the process.
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit { 200000, 200000 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const Outcome o = failingRun(root, out);
        ::_exit(o == Outcome("ENotEnoughRoom", kNotEnoughRoom) && !::testing::Test::HasFailure()
                    ? 0
                    : 1);
    }
    int status = 1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ZipWriterFaults, SourceGoneOrNoLongerAFile) {
    // Found by the walk, then replaced before it is read: the book would
    // lack a file, so the run fails rather than skip it. A pipe must not
    // hang the run.
    const std::pair<std::function<void(const std::string&)>, std::string> replacements[] = {
        {[](const std::string&) {}, "No such file or directory"},
        {[](const std::string& p) { ::mkfifo(p.c_str(), 0644); }, "not a regular file"},
        {[](const std::string& p) { std::filesystem::create_directory(p); }, "Is a directory"},
    };
    for (const auto& [replace, message] : replacements) {
        TempDir root, out;
        makeTree(root, 10);
        bool replaced = false;
        const std::string victim = root / "mimetype";
        EXPECT_EQ(failingRun(root, out, FileIo::system(),
                             [&](std::uint64_t, std::uint64_t) {
                                 if (!replaced)
                                     std::filesystem::remove(victim), replace(victim);
                                 replaced = true;
                             }),
                  Outcome("EInOutError", victim + ": " + message));
    }
}

TEST(ZipWriterFaults, NamesTheFileSystemRefuses) {
    TempDir root, out;
    makeTree(root, 100);
    auto attempt = [&](const std::string& zipName) {
        TZipWriter w;
        w.FilesList().push_back(root.path() + "/*.*");
        w.setZipName(zipName);
        try {
            w.Zip();
        } catch (const EInOutError& e) {
            return std::string(e.what());
        }
        return std::string("no failure");
    };
    EXPECT_EQ(attempt(out / "missing/book.epub"), "No such file or directory");
    EXPECT_EQ(attempt(out / (std::string(300, 't') + ".epub")), "File name too long");
    std::filesystem::create_directory(out / "folder.epub");
    EXPECT_EQ(attempt(out / "folder.epub"), "Is a directory");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 1);
}

}  // namespace
}  // namespace pagelume::zip
