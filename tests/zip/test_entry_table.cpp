#include <gtest/gtest.h>

#include "zip/entry_table.h"

namespace pagelume::zip {
namespace {

// The central directory is written from the table alone, so what comes back
// must write the very bytes the entry would have, Zip64 fields and all.
TEST(EntryTable, GivesBackEveryEntryAsAddedAndTakesEachNameOnce) {
    EntryTable table;
    std::vector<std::string> expected;
    for (int i = 0; i < 1000; ++i) {
        TZipHeaderInfo e;
        e.setDirectory(i % 2 ? "OEBPS" : "");
        e.setFileName(i % 3 ? "page" + std::to_string(i) + ".html"
                            : "\xC3\xA4" + std::to_string(i));
        e.oemConvert = i % 5 ? oemFlexible : oemNever;
        e.dateTime = 0x5A215A21u + static_cast<std::uint32_t>(i);
        e.crc32 = 0xC0FFEE00u + static_cast<std::uint32_t>(i);
        e.externalAttributes = i % 7 ? 0x20 : 0x21;
        e.setUncompressedSize(i % 4 ? 100u + i : 0x1'0000'0000ull + i);
        e.setCompressedSize(i % 6 ? 90u + i : 0xFFFF'FFFFull);
        e.setRelativeOffset(i % 8 ? 1000u * i : 0x2'0000'0000ull + i);
        e.compressionMethod = i % 2 ? kMethodDeflated : kMethodStored;
        e.reserveLocalZip64 = i % 9 == 0;
        e.localHeader();  // settles lengths, flags and versions as writing does
        ASSERT_TRUE(table.add(e)) << i;
        expected.push_back(e.centralHeader());

        // The same name in other letters, or spelt so that it encodes alike,
        // is the name taken already.
        TZipHeaderInfo twin = e;
        twin.setDirectory(i % 2 ? "oebps" : "");
        twin.setFileName(i % 3 ? "PAGE" + std::to_string(i) + ".HTML"
                               : "\xC3\xA4" + std::to_string(i));
        EXPECT_FALSE(table.add(twin)) << i;
    }
    ASSERT_EQ(table.size(), 1000u);
    for (std::size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ(table.at(i).centralHeader(), expected[i]) << i;

    TZipHeaderInfo written = table.at(7);
    written.crc32 = 7;
    written.setCompressedSize(0x3'0000'0000ull);
    table.store(7, written);
    EXPECT_EQ(table.at(7).centralHeader(), written.centralHeader());
    EXPECT_EQ(table.at(7).storedName(), "OEBPS/page7.html");
}

}  // namespace
}  // namespace pagelume::zip
