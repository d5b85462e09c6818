#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "support/tempdir.h"
#include "zip/deflate_pool.h"
#include "zip/zip_writer.h"
#include "zip_check.h"

// The archive made on several threads against the one made on the calling
// thread alone: the same bytes, the same progress calls, the same failures.
namespace pagelume::zip {
namespace {

using test::readFile;
using test::TempDir;
using test::randomBytes;
using test::writeFile;
using Calls = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
using Outcome = std::pair<std::string, std::string>;  // exception class, message

std::size_t countEntries(const std::string& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

// Threads of this process; one that has been joined may linger a moment in
// the listing, one still running never leaves it.
std::size_t threadsSettlingAt(std::size_t expected) {
    std::size_t n = 0;
    for (int i = 0; i < 500 && (n = countEntries("/proc/self/task")) != expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return n;
}

// Watches the source files the workers open and read, and can change one at
// the moment it is opened or read, or fail the read. Safe on any thread.
class WatchingIo : public FileIo {
public:
    std::function<void(const std::string& path)> beforeOpen;
    // Returns the error to fail the read with, or 0.
    std::function<int(const std::string& path, int readNumber)> beforeRead;
    std::atomic<std::uint64_t> bytesRead{0};

    int open(const std::string& path, int flags) override {
        if (beforeOpen)
            beforeOpen(path);
        const int fd = FileIo::open(path, flags);
        std::lock_guard lock(mutex_);
        if (fd >= 0)
            open_[fd] = {path, 0};
        opened_.push_back(path);
        return fd;
    }
    ssize_t read(int fd, void* buf, std::size_t n) override {
        std::pair<std::string, int> file;
        {
            std::lock_guard lock(mutex_);
            file = {open_[fd].first, ++open_[fd].second};
        }
        if (const int error = beforeRead ? beforeRead(file.first, file.second) : 0)
            return errno = error, -1;
        const ssize_t r = FileIo::read(fd, buf, n);
        if (r > 0)
            bytesRead += static_cast<std::uint64_t>(r);
        return r;
    }
    int close(int fd) override {
        {
            std::lock_guard lock(mutex_);
            open_.erase(fd);
        }
        return FileIo::close(fd);
    }
    bool wasOpened(const std::string& path) {
        std::lock_guard lock(mutex_);
        return std::find(opened_.begin(), opened_.end(), path) != opened_.end();
    }

private:
    std::mutex mutex_;
    std::map<int, std::pair<std::string, int>> open_;
    std::vector<std::string> opened_;
};

// Fails every start of a stream, or the end of the stream of a file of
// one size. Safe on any thread.
class FailingZlib : public ZlibCalls {
public:
    explicit FailingZlib(bool failInit, uLong size = 0) : failInit_(failInit), size_(size) {}
    int init(z_stream_s& z, int level) override {
        return failInit_ ? Z_MEM_ERROR : ZlibCalls::init(z, level);
    }
    int deflate(z_stream_s& z, int flush) override {
        return flush == Z_FINISH && z.total_in == size_ ? Z_STREAM_ERROR
                                                        : ZlibCalls::deflate(z, flush);
    }

private:
    bool failInit_;
    uLong size_;
};

struct Packed {
    std::string bytes;  // the archive; empty when the run failed
    Outcome outcome{"none", ""};
    std::exception_ptr error;
    Calls calls;
    bool onCallingThread = true;
};

struct PackOptions {
    int level = 6;
    std::vector<std::string> noCompress;
    FileIo* io = nullptr;
    ZlibCalls* zlib = nullptr;
    std::function<void(std::uint64_t done, std::uint64_t total)> onProgress;

    static PackOptions levelled(int level, std::vector<std::string> noCompress = {}) {
        PackOptions o;
        o.level = level;
        o.noCompress = std::move(noCompress);
        return o;
    }
    static PackOptions through(FileIo& io) {
        PackOptions o;
        o.io = &io;
        return o;
    }
    static PackOptions through(ZlibCalls& zlib) {
        PackOptions o;
        o.zlib = &zlib;
        return o;
    }
};

// Packs root as a conversion does, with the given number of threads, and
// checks that the run leaves no thread, no open file and, when it fails, no
// file behind.
Packed pack(const std::string& root, int threads, const PackOptions& o = {}) {
    TempDir out;
    // A sanitizer's runtime may start a thread of its own along with the
    // first one the program starts.
    std::thread([] {}).join();
    const std::size_t threadsBefore = countEntries("/proc/self/task");
    const std::size_t filesBefore = countEntries("/proc/self/fd");
    Packed p;
    {
        TZipWriter w(o.io ? *o.io : FileIo::system(), o.zlib ? *o.zlib : ZlibCalls::system());
        w.setThreads(threads);
        w.setRootDir(root);
        w.setRelativePaths(true);
        w.FilesList().push_back(root + "/*.*");
        w.setZipName(out / "book.epub");
        w.setPackLevel(o.level);
        w.NoCompressList() = o.noCompress;
        const auto caller = std::this_thread::get_id();
        w.setOnProgress([&](std::uint64_t done, std::uint64_t total) {
            p.calls.emplace_back(done, total);
            p.onCallingThread = p.onCallingThread && std::this_thread::get_id() == caller;
            if (o.onProgress)
                o.onProgress(done, total);
        });
        try {
            w.Zip();
            p.bytes = readFile(out / "book.epub");
        } catch (...) {
            p.error = std::current_exception();
            try {
                throw;
            } catch (const Exception& e) {
                p.outcome = {e.className(), e.what()};
            } catch (...) {
                p.outcome = {"other", ""};
            }
            EXPECT_EQ(countEntries(out.path()), 0u) << "nothing left behind";
        }
    }
    EXPECT_EQ(threadsSettlingAt(threadsBefore), threadsBefore) << "no thread left running";
    EXPECT_EQ(countEntries("/proc/self/fd"), filesBefore) << "no file left open";
    return p;
}

void expectSameAsOneThread(const std::string& root, const PackOptions& o = {}) {
    const Packed one = pack(root, 1, o);
    for (int threads : {2, 3, 8}) {
        SCOPED_TRACE(threads);
        const Packed many = pack(root, threads, o);
        EXPECT_EQ(many.outcome, one.outcome);
        EXPECT_TRUE(many.bytes == one.bytes) << "archives differ";
        EXPECT_EQ(many.calls, one.calls);
        EXPECT_TRUE(many.onCallingThread);
    }
}

TEST(ZipThreads, TheSettingAndTheCores) {
    EXPECT_EQ(deflateThreads(nullptr, 4), 4);
    EXPECT_EQ(deflateThreads("", 4), 4);
    EXPECT_EQ(deflateThreads("1", 4), 1);
    EXPECT_EQ(deflateThreads("3", 4), 3);
    EXPECT_EQ(deflateThreads("64", 2), 64);
    EXPECT_EQ(deflateThreads("65", 2), kMaxDeflateThreads);
    EXPECT_EQ(deflateThreads("99999999999999999999", 2), kMaxDeflateThreads);
    for (const char* ignored : {"0", "-2", "two", "2x", " 2", "+2"})
        EXPECT_EQ(deflateThreads(ignored, 2), 2) << ignored;
    EXPECT_EQ(deflateThreads(nullptr, 0), 1) << "a machine that does not say has one core";
    EXPECT_EQ(deflateThreads(nullptr, 500), kMaxDeflateThreads);

    TZipWriter w;
    w.setThreads(0);
    EXPECT_EQ(w.Threads(), 1);
    w.setThreads(1000);
    EXPECT_EQ(w.Threads(), kMaxDeflateThreads);
}

TEST(ZipThreads, EmptyTreesAndEmptyFiles) {
    TempDir empty;
    std::filesystem::create_directory(empty / "sub");
    expectSameAsOneThread(empty.path());
    EXPECT_EQ(pack(empty.path(), 4).bytes.size(), 22u);

    TempDir one;
    writeFile(one / "empty.txt", "");
    expectSameAsOneThread(one.path());
    // Stored, an empty file makes no block of data at all.
    expectSameAsOneThread(one.path(), PackOptions::levelled(0));
}

TEST(ZipThreads, ManyTinyFilesAndNamesInUtf8) {
    TempDir root;
    std::mt19937 gen(3);
    for (int i = 0; i < 1500; ++i) {
        const std::string dir = i % 3 ? "OEBPS" : "Seite-\xC3\xA4-\xE2\x82\xAC";
        writeFile(root / (dir + "/f" + std::to_string(i) + (i % 7 ? ".html" : ".png")),
                  randomBytes(gen() % 40, static_cast<unsigned>(i)));
    }
    writeFile(root / "\xE6\x97\xA5\xE6\x9C\xAC.txt", "japanese");
    expectSameAsOneThread(root.path());
    expectSameAsOneThread(root.path(), PackOptions::levelled(9, {"*.PNG"}));
    TempDir out;
    writeFile(out / "t.zip", pack(root.path(), 4).bytes);
    test::expectReadersAccept(out / "t.zip");
    test::expectContentsMatch(out / "t.zip", root.path());
}

TEST(ZipThreads, FilesLargerThanAWorkerHolds) {
    // Sizes around the read size, and two entries larger than the cap, one
    // incompressible and one that deflates to almost nothing, among small
    // ones that other workers finish meanwhile.
    TempDir root;
    const std::size_t big = kWorkerBufferCap + (kWorkerBufferCap >> 2);
    writeFile(root / "a-random.bin", randomBytes(big, 1));
    writeFile(root / "b-zeros.bin", std::string(2 * big, '\0'));
    writeFile(root / "c-stored.png", randomBytes(big, 2));
    for (std::size_t n : {kDeflateBufferSize - 1, kDeflateBufferSize, kDeflateBufferSize + 1,
                          2 * kDeflateBufferSize, std::size_t{kStoreBufferSize}})
        writeFile(root / ("d-" + std::to_string(n)), randomBytes(n, static_cast<unsigned>(n)));
    expectSameAsOneThread(root.path(), PackOptions::levelled(6, {"*.png"}));
}

TEST(ZipThreads, FailuresAreTheSameAndHappenAtTheSamePlace) {
    // The failing file comes after a large one, so workers reach it while
    // the writer is still busy with what comes before it.
    TempDir root;
    writeFile(root / "a-big.bin", randomBytes(kWorkerBufferCap + 300000, 4));
    writeFile(root / "b-victim.txt", randomBytes(200000, 5));
    writeFile(root / "c-after.txt", "after");
    const std::string victim = root / "b-victim.txt";
    const std::string eio = "Input/output error";

    auto restore = [&] {
        std::filesystem::remove_all(victim);
        writeFile(victim, randomBytes(200000, 5));
    };
    auto failsAlike = [&](const PackOptions& o, const Outcome& expected) {
        restore();
        const Packed one = pack(root.path(), 1, o);
        EXPECT_EQ(one.outcome, expected);
        EXPECT_GE(one.calls.size(), 3u + 37) << "the files found, the first entry's blocks";
        for (int threads : {2, 4}) {
            SCOPED_TRACE(threads);
            restore();
            const Packed many = pack(root.path(), threads, o);
            EXPECT_EQ(many.outcome, expected);
            EXPECT_EQ(many.calls, one.calls) << "the same blocks written before the failure";
        }
        restore();
    };

    // Gone, replaced by a pipe or a folder, cut short or unreadable while
    // a worker has it: found and reported as the writer comes to it.
    const std::pair<std::function<void()>, std::string> atOpen[] = {
        {[&] { std::filesystem::remove(victim); }, "No such file or directory"},
        {[&] { std::filesystem::remove(victim), ::mkfifo(victim.c_str(), 0644); },
         "not a regular file"},
        {[&] { std::filesystem::remove(victim), std::filesystem::create_directory(victim); },
         "Is a directory"},
    };
    for (const auto& [change, message] : atOpen) {
        WatchingIo io;
        io.beforeOpen = [&](const std::string& path) {
            if (path == victim)
                change();
        };
        failsAlike(PackOptions::through(io), {"EInOutError", victim + ": " + message});
    }
    WatchingIo shrinks, breaks;
    shrinks.beforeRead = [&](const std::string& path, int n) {
        if (path == victim && n == 2) {
            EXPECT_EQ(::truncate(victim.c_str(), 1000), 0);
        }
        return 0;
    };
    failsAlike(PackOptions::through(shrinks), {"EInOutError", victim + ": " + kFileShrank});
    breaks.beforeRead = [&](const std::string& path, int n) {
        return path == victim && n == 3 ? EIO : 0;
    };
    failsAlike(PackOptions::through(breaks), {"EInOutError", victim + ": " + eio});

    // zlib failing at the end of the second entry's stream.
    FailingZlib atEnd(false, 200000);
    failsAlike(PackOptions::through(atEnd), {"EZCompressionError", "error"});
    // Failing to start any stream fails the first entry, before any block.
    FailingZlib noStart(true);
    for (int threads : {1, 3}) {
        const Packed p = pack(root.path(), threads, PackOptions::through(noStart));
        EXPECT_EQ(p.outcome, Outcome("EZCompressionError", "error"));
        EXPECT_EQ(p.calls.size(), 3u) << "the files found, then no block";
    }
}

TEST(ZipThreads, WhatTheProgressCallbackThrowsStopsTheWorkersAndPassesOnUnchanged) {
    // Far more data than the workers may hold, so a run that does not stop
    // them would read it all.
    TempDir root;
    for (int i = 0; i < 12; ++i)
        writeFile(root / ("page" + std::to_string(i) + ".png"),
                  randomBytes(kWorkerBufferCap, static_cast<unsigned>(i)));
    struct Cancelled {
        int tag;
    };
    for (int threads : {2, 4}) {
        SCOPED_TRACE(threads);
        WatchingIo io;
        PackOptions o = PackOptions::through(io);
        o.onProgress = [](std::uint64_t done, std::uint64_t) {
            if (done > 0)
                throw Cancelled{42};
        };
        const Packed p = pack(root.path(), threads, o);
        bool passedOn = false;
        try {
            std::rethrow_exception(p.error);
        } catch (const Cancelled& c) {
            passedOn = c.tag == 42;
        } catch (...) {
        }
        EXPECT_TRUE(passedOn);
        const std::uint64_t held =
            static_cast<std::uint64_t>(threads) * (kWorkerBufferCap + (1 << 19));
        EXPECT_LE(io.bytesRead.load(), held);
    }
}

TEST(ZipThreads, WorkersHoldNoMoreThanTheCapWhileTheWriterWaits) {
    TempDir root;
    std::vector<DeflateJob> jobs;
    for (int i = 0; i < 5; ++i) {
        writeFile(root / std::to_string(i), randomBytes(3 << 20, static_cast<unsigned>(i)));
        jobs.push_back({root / std::to_string(i), i == 4});
    }
    const std::size_t cap = 256 << 10;
    WatchingIo io;
    DeflatePool pool(io, ZlibCalls::system(), 6, jobs, 3, cap);
    ASSERT_EQ(pool.started(), 3);
    // Not taking anything, the writer makes every worker stop at the cap.
    for (int i = 0; i < 3000 && pool.waitingForRoom() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(pool.waitingForRoom(), 3);
    // What a worker has read and not yet handed over: its input buffer and
    // zlib's window and pending output.
    EXPECT_LE(io.bytesRead.load(), 3 * (cap + (384 << 10)));
    EXPECT_FALSE(io.wasOpened(jobs[3].path));

    // Then everything comes out as on one thread, in order.
    std::vector<unsigned char> in, out;
    for (const auto& job : jobs) {
        const OpenedSource opened = pool.opened();
        EXPECT_EQ(opened.st.st_size, 3 << 20);
        std::string expected, got;
        std::vector<std::uint64_t> expectedReads, gotReads;
        {
            const int fd = ::open(job.path.c_str(), O_RDONLY | O_CLOEXEC);
            EntrySource source(FileIo::system(), fd, job.path, 3 << 20);
            makeEntryData(source, ZlibCalls::system(), 6, job.store, in, out,
                          [&](const unsigned char* data, std::size_t n) {
                              expected.append(reinterpret_cast<const char*>(data), n);
                              expectedReads.push_back(source.bytesRead());
                          });
        }
        while (const DeflatePool::Block* block = pool.next()) {
            got.append(reinterpret_cast<const char*>(block->data.data()), block->data.size());
            gotReads.push_back(block->bytesRead);
        }
        const auto totals = pool.finish();
        EXPECT_TRUE(got == expected) << job.path;
        EXPECT_EQ(gotReads, expectedReads) << job.path;
        EXPECT_EQ(totals.bytesRead, std::uint64_t{3} << 20);
        const std::string data = readFile(job.path);
        EXPECT_EQ(totals.crc, ::crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                                      static_cast<uInt>(data.size())));
    }
}

TEST(ZipThreads, StoppingInterruptsAWorkerBetweenReads) {
    // Zeros deflate to so little that a worker would read a long way before
    // it has a block to hand over; the pool stops it at its next read.
    TempDir root;
    const int fd = ::open((root / "zeros").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::ftruncate(fd, off_t{16} << 30), 0);  // sparse: no room taken
    ::close(fd);
    WatchingIo io;
    std::uint64_t atStop = 0;
    {
        DeflatePool pool(io, ZlibCalls::system(), 6, {{root / "zeros", false}}, 2);
        for (int i = 0; i < 3000 && io.bytesRead < (1 << 20); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        atStop = io.bytesRead;
        ASSERT_GE(atStop, std::uint64_t{1} << 20);
    }
    EXPECT_LE(io.bytesRead - atStop, std::uint64_t{8} << 20);
}

TEST(ZipThreads, WithoutThreadsTheCallingThreadDoesTheWork) {
    // A user at the limit of processes gets no worker at all; the book is
    // made anyway, on the calling thread. Root is exempt from the limit, so
    // a child that is not root tries.
    TempDir root, out;
    writeFile(root / "a.png", randomBytes(300000, 6));
    writeFile(root / "mimetype", "application/epub+zip");
    const std::string expected = pack(root.path(), 1).bytes;
    ::chmod(root.path().c_str(), 0755);
    ::chmod(out.path().c_str(), 0777);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        const struct rlimit none { 0, 0 };
        ::setrlimit(RLIMIT_NPROC, &none);
        std::thread probe;
        try {
            probe = std::thread([] {});
            probe.join();
            ::_exit(3);  // the limit did not hold: nothing to learn
        } catch (const std::system_error&) {
        }
        TZipWriter w;
        w.setThreads(4);
        w.setRootDir(root.path());
        w.setRelativePaths(true);
        w.FilesList().push_back(root.path() + "/*.*");
        w.setZipName(out / "book.epub");
        try {
            w.Zip();
        } catch (const Exception&) {
            ::_exit(4);
        }
        ::_exit(readFile(out / "book.epub") == expected ? 0 : 5);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "this system starts threads past the process limit";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace pagelume::zip
