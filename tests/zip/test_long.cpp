#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include "support/tempdir.h"
#include "zip/zip_writer.h"
#include "zip_check.h"

// Real archives past the 32-bit limits. Slow and large (about 4.3 GB of disk
// for a while): run with ./test.sh --long.
namespace pagelume::zip {
namespace {

using test::TempDir;
using test::writeFile;

constexpr std::uint64_t kHuge = 0x100000000ull + 70000;

// A sparse file just over 4 GiB with a few marks in it.
void makeHugeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    for (std::uint64_t at : {std::uint64_t{0}, std::uint64_t{0x80000000}, kHuge - 5})
        ASSERT_EQ(::pwrite(fd, "mark!", 5, static_cast<off_t>(at)), 5);
    ASSERT_EQ(::close(fd), 0);
}

// Several threads unless told otherwise; each test also packs on one and
// compares.
int pack(const TempDir& root, const std::string& zipName, bool storeBin, int threads = 4) {
    TZipWriter w;
    w.setThreads(threads);
    w.setRootDir(root.path());
    w.setRelativePaths(true);
    w.FilesList().push_back(root.path() + "/*.*");
    if (storeBin)
        w.NoCompressList().push_back("*.bin");
    w.setZipName(zipName);
    return w.Zip();
}

// Length and CRC-32 of a file too large to hold twice.
std::pair<std::uint64_t, uLong> digest(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buf(1 << 20);
    std::uint64_t size = 0;
    uLong crc = ::crc32(0, nullptr, 0);
    while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0) {
        const auto n = static_cast<uInt>(in.gcount());
        crc = ::crc32(crc, reinterpret_cast<const Bytef*>(buf.data()), n);
        size += n;
    }
    return {size, crc};
}

TEST(ZipLong, DeflatedEntryOver4GiB) {
    TempDir root, out;
    makeHugeFile(root / "a-huge.bin");
    writeFile(root / "b-small.txt", "after the big one");
    ASSERT_EQ(pack(root, out / "d.zip", false), 2);

    const auto view = test::readZip(out / "d.zip");
    const auto& huge = view.entries.at(0);
    EXPECT_EQ(huge.uncompressedSize, kHuge);
    EXPECT_LT(huge.compressedSize, 0xFFFFFFFFull);
    EXPECT_EQ(huge.centralExtraLength, 4 + 8);  // the uncompressed size only
    EXPECT_EQ(huge.localExtraLength, 4 + 16);   // both sizes, as a local header must
    EXPECT_EQ(view.entries.at(1).centralExtraLength, 0);
    EXPECT_FALSE(view.zip64End);
    test::expectReadersAccept(out / "d.zip");
    EXPECT_EQ(test::run("unzip -p '" + (out / "d.zip") + "' a-huge.bin | cmp - '" +
                        (root / "a-huge.bin") + "'"),
              0);
    ASSERT_EQ(pack(root, out / "d1.zip", false, 1), 2);
    EXPECT_TRUE(test::readFile(out / "d.zip") == test::readFile(out / "d1.zip"))
        << "the same archive on one thread";
}

TEST(ZipLong, StoredEntryPushesOffsetsPast4GiB) {
    TempDir root, out;
    makeHugeFile(root / "a-huge.bin");
    writeFile(root / "b-small.txt", "after the big one");
    ASSERT_EQ(pack(root, out / "s.zip", true), 2);

    const auto view = test::readZip(out / "s.zip");
    EXPECT_TRUE(view.zip64End);
    EXPECT_GT(view.centralOffset, 0xFFFFFFFFull);
    const auto& huge = view.entries.at(0);
    EXPECT_EQ(huge.method, 0);
    EXPECT_EQ(huge.compressedSize, kHuge);
    EXPECT_EQ(huge.centralExtraLength, 4 + 16);
    const auto& small = view.entries.at(1);
    EXPECT_GT(small.offset, 0xFFFFFFFFull);
    EXPECT_EQ(small.centralExtraLength, 4 + 8);  // the offset only
    test::expectReadersAccept(out / "s.zip");
    const auto many = digest(out / "s.zip");
    std::filesystem::remove(out / "s.zip");
    ASSERT_EQ(pack(root, out / "s.zip", true, 1), 2);
    EXPECT_EQ(digest(out / "s.zip"), many) << "the same archive on one thread";
    std::filesystem::remove(out / "s.zip");
}

TEST(ZipLong, MoreEntriesThanTheEndRecordCounts) {
    TempDir root, out;
    const int n = 70000;
    for (int i = 0; i < n; ++i)
        ::close(::open((root / ("f" + std::to_string(i))).c_str(), O_WRONLY | O_CREAT, 0644));
    ASSERT_EQ(pack(root, out / "n.zip", false), n);
    const auto view = test::readZip(out / "n.zip");
    EXPECT_TRUE(view.zip64End);
    EXPECT_EQ(view.entries.size(), static_cast<std::size_t>(n));
    test::expectReadersAccept(out / "n.zip");
    ASSERT_EQ(pack(root, out / "n1.zip", false, 1), n);
    EXPECT_TRUE(test::readFile(out / "n.zip") == test::readFile(out / "n1.zip"))
        << "the same archive on one thread";
}

}  // namespace
}  // namespace pagelume::zip
