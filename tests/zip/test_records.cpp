#include <gtest/gtest.h>

#include "zip/compression.h"
#include "zip/wildcard.h"
#include "zip/zip_records.h"

namespace pagelume::zip {
namespace {

// Golden bytes are written as spaced hex, one field per word.
std::string squash(std::string spaced) {
    std::erase(spaced, ' ');
    return spaced;
}

std::string hex(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes)
        out += "0123456789abcdef"[c >> 4], out += "0123456789abcdef"[c & 15];
    return out;
}

TEST(ZipRecords, NamesOutsideAsciiAreFlaggedUtf8) {
    TZipHeaderInfo e;
    e.setDirectory("OEBPS");
    e.setFileName("\xC3\xA4.png");
    // made by 0B2D, needed 20, flags 0800, method 8, CRC unknown, name length 12
    EXPECT_EQ(hex(e.centralHeader()),
              squash("504b0102 2d0b 1400 0008 0800 00000000 ffffffff 00000000 00000000 0c00 0000 "
                     "0000 0000 0100 20000000 00000000") +
                  hex("OEBPS/\xC3\xA4.png"));
    EXPECT_EQ(hex(e.localHeader().substr(4, 4)), "14000008");  // needed 20, flags 0800

    TZipHeaderInfo ascii;
    ascii.setFileName("page1.html");
    EXPECT_EQ(hex(ascii.centralHeader().substr(4, 6)), "2d0014000000");
    ascii.oemConvert = oemNever;
    EXPECT_EQ(hex(ascii.centralHeader().substr(4, 6)), "2d0b14000008");
    // Bytes that are not UTF-8 are taken as Latin-1, so the flag never lies.
    EXPECT_EQ(encodeEntryName("\xE9t\xE9.png", oemFlexible).bytes, "\xC3\xA9t\xC3\xA9.png");
    EXPECT_EQ(encodeEntryName("\xED\xA0\x80", oemFlexible).bytes, "\xC3\xAD\xC2\xA0\xC2\x80");
}

TEST(ZipRecords, Zip64FieldsFromLargeSizesAndOffsets) {
    TZipHeaderInfo e;
    e.setFileName("b");
    e.dateTime = 0x5B874A21;
    e.crc32 = 0xCAFEF00D;
    e.setUncompressedSize(0x100000010ull);
    e.setCompressedSize(0x2000);
    e.setRelativeOffset(0x123456789ull);
    // Local: needed 45, both sizes in the Zip64 field whenever one is, then
    // the offset.
    EXPECT_EQ(
        hex(e.localHeader()),
        squash("504b0304 2d00 0000 0800 214a875b 0df0feca ffffffff ffffffff 0100 1c00 62 0100 "
               "1800 1000000001000000 0020000000000000 8967452301000000"));
    // Central: only what overflows.
    EXPECT_EQ(hex(e.centralHeader()),
              squash("504b0102 2d00 2d00 0000 0800 214a875b 0df0feca 00200000 ffffffff 0100 1400 "
                     "0000 0000 0100 20000000 ffffffff 62 0100 1000 1000000001000000 "
                     "8967452301000000"));
}

TEST(ZipRecords, ReservedLocalZip64KeepsBothCopiesTheSameLength) {
    // A file of 4 GiB when opened that shrank to 100 bytes while read.
    TZipHeaderInfo e;
    e.setFileName("b");
    e.setUncompressedSize(0x100000000ull);
    e.reserveLocalZip64 = worstCaseDataSize(e.uncompressedSize(), false) >= kMax32;
    ASSERT_TRUE(e.reserveLocalZip64);
    const std::size_t first = e.localHeader().size();
    e.setUncompressedSize(100);
    e.setCompressedSize(50);
    EXPECT_EQ(e.localHeader().size(), first);
    EXPECT_EQ(hex(e.localHeader().substr(18)),
              squash("ffffffff ffffffff 0100 1400 62 0100 1000 6400000000000000 3200000000000000"));
    EXPECT_EQ(e.centralHeader().size(), 46u + 1);  // nothing to say there

    // Near 4 GiB deflate could still grow past it, a stored entry cannot.
    EXPECT_GE(worstCaseDataSize(0xFFFFFFFFull - 0x80000, false), kMax32);
    EXPECT_LT(worstCaseDataSize(0xFFFFFFFEull, true), kMax32);
}

TEST(ZipRecords, EndRecords) {
    TEndCentral end;
    EXPECT_EQ(hex(end.bytes(0)), "504b0506" + std::string(36, '0'));
    end.setEntriesThisDisk(70000);
    end.setTotalEntries(70000);
    end.setCentralSize(0x1234);
    end.setCentralOffset(0x200000000ull);
    EXPECT_EQ(hex(end.bytes(0x200001234ull)),
              // Zip64 end record: counts, size (from the 32-bit field), offset
              squash("504b0606 2c00000000000000 2d00 2d00 00000000 00000000 7011010000000000 "
                     "7011010000000000 3412000000000000 0000000002000000"
                     // locator: disk 0, where the Zip64 record starts, 1 disk
                     "504b0607 00000000 3412000002000000 01000000"
                     // end record with the overflowing fields at all ones
                     "504b0506 0000 0000 ffff ffff 34120000 ffffffff 0000"));
}

TEST(ZipWildcards, MasksMatchWithoutRegardToCase) {
    EXPECT_TRUE(matchesMask("anything at all", "*"));
    EXPECT_TRUE(matchesMask("Cover.PNG", "*.png"));
    EXPECT_TRUE(matchesMask("a.b.c", "*.c"));
    EXPECT_FALSE(matchesMask("mimetype.bak", "mimetype"));
    EXPECT_TRUE(matchesMask("page\xC3\xA4.html", "page?.html"));  // one character, two bytes
    EXPECT_FALSE(matchesMask("page.html", "page?.html"));
    // A naive recursive matcher would never finish this one.
    EXPECT_FALSE(matchesMask(std::string(5000, 'a'), "*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(isPattern("dir/*.*"));
    EXPECT_FALSE(isPattern("dir/page1.html"));
}

}  // namespace
}  // namespace pagelume::zip
