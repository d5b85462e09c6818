#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "support/tempdir.h"
#include "zip/deflate_cache.h"
#include "zip/deflate_pool.h"
#include "zip/zip_writer.h"
#include "zip_check.h"

// Entry data made ahead of packing: the archive is the one made without it,
// and a file that changed after it was deflated is never packed from it.
namespace pagelume::zip {
namespace {

using test::randomBytes;
using test::readFile;
using test::TempDir;
using test::writeFile;

// Counts the entries the writer deflates itself.
class CountingZlib : public ZlibCalls {
public:
    int init(z_stream_s& z, int level) override {
        ++inits;
        return ZlibCalls::init(z, level);
    }
    std::atomic<int> inits{0};
};

std::string pack(const std::string& root, int threads, DeflateCache* cache,
                 ZlibCalls& zlib = ZlibCalls::system()) {
    TempDir out;
    TZipWriter w(FileIo::system(), zlib);
    w.setThreads(threads);
    w.setRootDir(root);
    w.setRelativePaths(true);
    w.FilesList().push_back(root + "/*.*");
    w.setZipName(out / "book.epub");
    w.setDeflateCache(cache);
    w.Zip();
    return readFile(out / "book.epub");
}

// Waits until the cache has made (or given up on) path.
bool made(DeflateCache& cache, const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && cache.find(path, st).has_value();
}

TEST(DeflateCache, AnArchivePackedFromTheCacheIsTheArchivePackedWithoutIt) {
    // Sizes around a read and past what a worker holds; files added out of
    // the order they are packed in, one never added, one added twice, one
    // too small to be worth a spool.
    TempDir root;
    const std::size_t big = kWorkerBufferCap + (kWorkerBufferCap >> 2);
    writeFile(root / "p10.png", randomBytes(big, 1));
    writeFile(root / "p2.png", std::string(2 * big, 'z'));
    writeFile(root / "P1.png", randomBytes(kDeflateBufferSize + 1, 3));
    writeFile(root / "empty.png", "");
    writeFile(root / "page1.html", "<html>not added</html>");
    const std::string without = pack(root.path(), 1, nullptr);

    TempDir spool;
    DeflateCache cache(spool.path(), 6, 2);
    for (const char* name : {"p2.png", "p10.png", "empty.png", "P1.png", "p2.png"})
        cache.add(root / name);
    CountingZlib zlib;
    EXPECT_TRUE(pack(root.path(), 2, &cache, zlib) == without) << "archives differ";
    EXPECT_EQ(zlib.inits, 2) << "only the file not added and the empty one (too small to "
                                "spool) are deflated while packing";
    EXPECT_TRUE(std::filesystem::is_empty(spool.path())) << "spools have no names";
}

TEST(DeflateCache, AFileChangedAfterItWasDeflatedIsDeflatedAgain) {
    TempDir root, spool;
    writeFile(root / "a.png", randomBytes(100000, 1));
    writeFile(root / "b.png", randomBytes(100000, 2));
    DeflateCache cache(spool.path(), 6, 2);
    cache.add(root / "a.png");
    cache.add(root / "b.png");
    ASSERT_TRUE(made(cache, root / "a.png"));
    ASSERT_TRUE(made(cache, root / "b.png"));
    // The same size: only the contents and the times differ.
    const int fd = ::open((root / "a.png").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(::pwrite(fd, "changed", 7, 500), 7);
    ::close(fd);
    CountingZlib zlib;
    EXPECT_TRUE(pack(root.path(), 2, &cache, zlib) == pack(root.path(), 1, nullptr));
    EXPECT_EQ(zlib.inits, 1);
    // A cache at another level is not used at all.
    DeflateCache level9(spool.path(), 9, 2);
    level9.add(root / "b.png");
    ASSERT_TRUE(made(level9, root / "b.png"));
    CountingZlib fresh;
    pack(root.path(), 2, &level9, fresh);
    EXPECT_EQ(fresh.inits, 2);
}

// A deflate that takes its time: 64 MiB would take the cache's worker
// about a minute.
class SlowZlib : public ZlibCalls {
public:
    int deflate(z_stream_s& z, int flush) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return ZlibCalls::deflate(z, flush);
    }
};

TEST(DeflateCache, StoppingThePoolOrTheCacheDoesNotWaitForAFileToBeDeflated) {
    TempDir root, spool;
    writeFile(root / "zeros", std::string(64 << 20, '\0'));
    SlowZlib slow;
    const auto start = std::chrono::steady_clock::now();
    {
        DeflateCache cache(spool.path(), 6, 1, FileIo::system(), slow);
        cache.add(root / "zeros");
        {
            DeflatePool pool(FileIo::system(), ZlibCalls::system(), 6, {{root / "zeros", false}},
                             1, kWorkerBufferCap, &cache);
            EXPECT_EQ(pool.opened().st.st_size, off_t{64} << 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }  // its worker waits for the cache: it is woken and leaves
    }      // the cache's worker stops at its next read
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
}  // namespace pagelume::zip
