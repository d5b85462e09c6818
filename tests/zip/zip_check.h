#pragma once

// Reads back the archives the tests make, independently of the writer's own
// record code, and runs outside readers on them.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace pagelume::test {

// n bytes that deflate cannot shrink, the same for the same seed.
inline std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(gen());
    return s;
}

inline std::uint64_t le(const std::string& b, std::size_t at, int width) {
    std::uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b.at(at + static_cast<std::size_t>(i)));
    return v;
}

struct ZipEntryView {
    std::string name;
    std::uint64_t madeBy, flags, method, externalAttributes, offset, compressedSize,
        uncompressedSize, localExtraLength, centralExtraLength;
};

struct ZipView {
    std::vector<ZipEntryView> entries;
    std::uint64_t centralOffset = 0, fileSize = 0;
    bool zip64End = false;
};

// Sizes and offset from a Zip64 extra field, for the fields holding all ones.
// In a local header both sizes are there when either is, and the offset when
// the entry starts past 4 GiB.
inline void applyZip64(const std::string& extra, std::uint64_t& usize, std::uint64_t& csize,
                       std::uint64_t& offset, bool local) {
    if (extra.empty())
        return;
    ASSERT_EQ(le(extra, 0, 2), 1u);
    std::size_t q = 4;
    auto next = [&](std::uint64_t& v) { v = le(extra, (q += 8) - 8, 8); };
    const bool u = usize == 0xFFFFFFFF;
    if (u)
        next(usize);
    if (csize == 0xFFFFFFFF || (local && u))
        next(csize);
    if (offset == 0xFFFFFFFF)
        next(offset);
    EXPECT_EQ(q, 4 + le(extra, 2, 2)) << "Zip64 field length";
}

// Parses the archive from its end record and checks what the format promises
// as this program writes it: local headers that agree with their central
// headers, entries back to back in central order, nothing between the parts.
inline ZipView readZip(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    auto bytes = [&](std::uint64_t at, std::size_t n) {
        std::string b(n, '\0');
        in.seekg(static_cast<std::streamoff>(at));
        in.read(b.data(), static_cast<std::streamsize>(n));
        return b;
    };
    in.seekg(0, std::ios::end);
    ZipView view;
    view.fileSize = static_cast<std::uint64_t>(in.tellg());
    const std::string end = bytes(view.fileSize - 22, 22);
    EXPECT_EQ(le(end, 0, 4), 0x06054B50u);
    std::uint64_t count = le(end, 10, 2), size = le(end, 12, 4);
    view.centralOffset = le(end, 16, 4);
    const std::string loc = view.fileSize > 98 ? bytes(view.fileSize - 42, 20) : std::string(4, 0);
    if ((view.zip64End = le(loc, 0, 4) == 0x07064B50u)) {
        EXPECT_EQ(le(loc, 8, 8), view.fileSize - 98);
        const std::string z = bytes(view.fileSize - 98, 56);
        EXPECT_EQ(le(z, 0, 4), 0x06064B50u);
        count = le(z, 32, 8), size = le(z, 40, 8), view.centralOffset = le(z, 48, 8);
    }
    EXPECT_EQ(view.centralOffset + size, view.fileSize - (view.zip64End ? 98 : 22));

    std::uint64_t pos = view.centralOffset, nextLocal = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::string c = bytes(pos, 46);
        EXPECT_EQ(le(c, 0, 4), 0x02014B50u);
        const auto nameLength = le(c, 28, 2);
        ZipEntryView e{bytes(pos + 46, nameLength),
                       le(c, 4, 2),
                       le(c, 8, 2),
                       le(c, 10, 2),
                       le(c, 38, 4),
                       le(c, 42, 4),
                       le(c, 20, 4),
                       le(c, 24, 4),
                       0,
                       le(c, 30, 2)};
        applyZip64(bytes(pos + 46 + nameLength, e.centralExtraLength), e.uncompressedSize,
                   e.compressedSize, e.offset, false);
        EXPECT_EQ(le(c, 6, 2), e.centralExtraLength ? 45u : 20u) << e.name;
        pos += 46 + nameLength + e.centralExtraLength;

        EXPECT_EQ(e.offset, nextLocal) << e.name;
        const std::string l = bytes(e.offset, 30);
        e.localExtraLength = le(l, 28, 2);
        EXPECT_EQ(l.substr(0, 4), "PK\x03\x04") << e.name;
        EXPECT_EQ(le(l, 4, 2), e.localExtraLength ? 45u : 20u) << e.name;
        EXPECT_EQ(l.substr(6, 12), c.substr(8, 12)) << e.name;  // flags to CRC: final values
        EXPECT_EQ(bytes(e.offset + 30, nameLength), e.name);
        std::uint64_t u = le(l, 22, 4), s = le(l, 18, 4),
                      o = e.offset >= 0xFFFFFFFF ? 0xFFFFFFFF : 0;
        applyZip64(bytes(e.offset + 30 + nameLength, e.localExtraLength), u, s, o, true);
        EXPECT_EQ(std::make_pair(u, s), std::make_pair(e.uncompressedSize, e.compressedSize));
        nextLocal = e.offset + 30 + nameLength + e.localExtraLength + e.compressedSize;
        view.entries.push_back(e);
    }
    EXPECT_EQ(nextLocal, view.centralOffset) << "entry data and central directory apart";
    return view;
}

inline std::vector<std::string> entryNames(const ZipView& v) {
    std::vector<std::string> names;
    for (const auto& e : v.entries)
        names.push_back(e.name);
    return names;
}

inline int run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// Readers that nobody here wrote all accept the archive, CRCs included.
inline void expectReadersAccept(const std::string& zip) {
    for (const char* reader :
         {"unzip -tq", "zipinfo", "python3 -m zipfile -t", "7z t", "bsdtar -tf"})
        EXPECT_EQ(run(std::string(reader) + " '" + zip + "'"), 0) << reader;
}

// Every entry extracts to the bytes of the file of that name below root.
inline void expectContentsMatch(const std::string& zip, const std::string& root) {
    EXPECT_EQ(run("python3 -c \"import sys, zipfile, os\n"
                  "z = zipfile.ZipFile(sys.argv[1])\n"
                  "sys.exit(any(z.read(n) != open(os.path.join(sys.argv[2], n), 'rb').read()\n"
                  "             for n in z.namelist()))\" '" +
                  zip + "' '" + root + "'"),
              0);
}

}  // namespace pagelume::test
