#pragma once

// What the files of the PNG image object share: the chunk reader, chunk
// names, and the layout and allocation of the pixel storage.
#include <zlib.h>

#include <cstring>

#include "image/pngimage.h"
#include "image/pnglang.h"

namespace pagelume::image::detail {

// Where the bytes of a file come from. read() returns fewer bytes than asked
// only at the end of the data.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t read(uint8_t* dst, size_t n) = 0;
};

inline uint32_t bigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Reads chunk by chunk and keeps the running CRC of the current chunk.
struct ChunkReader {
    explicit ChunkReader(ByteSource& s) : source(s) {}

    ByteSource& source;
    uLong crc = 0;

    // Length and type of the next chunk; false when the file ends first.
    bool readChunkHeader(uint32_t& length, ChunkName& name) {
        uint8_t head[8];
        if (source.read(head, 4) != 4)
            return false;
        length = bigEndian32(head);
        if (source.read(head + 4, 4) != 4)
            return false;
        std::memcpy(name.data(), head + 4, 4);
        crc = crc32(crc32(0, nullptr, 0), head + 4, 4);
        return true;
    }

    // Chunk data, added to the CRC.
    size_t readData(uint8_t* dst, size_t n) {
        size_t got = source.read(dst, n);
        crc = crc32(crc, dst, static_cast<uInt>(got));
        return got;
    }

    // Consumes n data bytes (added to the CRC); false when the file ends first.
    bool skipData(uint64_t n) {
        uint8_t buffer[4096];
        while (n > 0) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(n, sizeof buffer));
            if (readData(buffer, want) != want)
                return false;
            n -= want;
        }
        return true;
    }

    // Consumes bytes that take no part in any CRC (skipped chunks).
    void skipRaw(uint64_t n) {
        uint8_t buffer[4096];
        while (n > 0) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(n, sizeof buffer));
            if (source.read(buffer, want) != want)
                return;  // the next length read reports the end
            n -= want;
        }
    }

    // Reads the stored CRC and compares it with the one computed; a file that
    // ends inside a chunk cannot pass this check either.
    void checkCrc() {
        uint8_t stored[4];
        if (source.read(stored, 4) != 4 || bigEndian32(stored) != static_cast<uint32_t>(crc))
            throw EPngInvalidCRC(pnglang::EPngInvalidCRCText);
    }
};

// PNG limits chunk lengths to 2^31 - 1; anything above cannot come from a
// valid file, so it counts as a damaged chunk.
inline constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;

inline bool isName(const ChunkName& n, const char* s) {
    return std::memcmp(n.data(), s, 4) == 0;
}
inline ChunkName makeName(const char* s) {
    return {s[0], s[1], s[2], s[3]};
}
inline bool isCritical(const ChunkName& n) {
    return (static_cast<uint8_t>(n[0]) & 0x20) == 0;
}

// Sample i of a row of 1, 2 or 4-bit samples.
inline unsigned getPacked(const uint8_t* row, uint32_t i, unsigned bits) {
    unsigned perByte = 8 / bits;
    unsigned shift = 8 - bits * (i % perByte + 1);
    return (row[i / perByte] >> shift) & ((1u << bits) - 1);
}

// Sizes of the pixel storage for a header: bitmap rows padded to 4 bytes,
// the alpha plane and the plane of 16-bit low bytes.
struct StorageLayout {
    unsigned bitsPerPixel;
    uint32_t bytesPerRow;
    uint64_t bitmap, alpha, extra;
};
StorageLayout layoutFor(uint32_t width, uint32_t height, uint8_t depth, uint8_t colorType);

// A zeroed plane (nullptr for size 0); EPNGOutMemory when there is no memory.
Plane allocatePlane(size_t size);
Plane copyPlane(const uint8_t* source, size_t size);

}  // namespace pagelume::image::detail
