#include "image/pngimage.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <istream>
#include <typeinfo>

#include "image/pnglang.h"
#include "image/pngrows.h"
#include "image/zlibpas.h"

namespace pagelume::image {

namespace detail {

// Where the bytes of a file come from. read() returns fewer bytes than asked
// only at the end of the data.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t read(uint8_t* dst, size_t n) = 0;
};

namespace {

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t read(uint8_t* dst, size_t n) override {
        size_t count = std::min(n, size_ - pos_);
        if (count)
            std::memcpy(dst, data_ + pos_, count);
        pos_ += count;
        return count;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

class StreamSource : public ByteSource {
public:
    explicit StreamSource(std::istream& stream) : stream_(stream) {}
    size_t read(uint8_t* dst, size_t n) override {
        if (!stream_.good())
            return 0;
        try {
            stream_.read(reinterpret_cast<char*>(dst), static_cast<std::streamsize>(n));
        } catch (const std::ios_base::failure&) {
            // A stream set to throw at its end: the end is reported like any other.
        }
        return static_cast<size_t>(stream_.gcount());
    }

private:
    std::istream& stream_;
};

uint32_t bigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

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

}  // namespace detail

using detail::ChunkReader;

namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
// PNG limits chunk lengths to 2^31 - 1; anything above cannot come from a
// valid file, so it counts as a damaged chunk.
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;

bool isName(const ChunkName& n, const char* s) {
    return std::memcmp(n.data(), s, 4) == 0;
}
ChunkName makeName(const char* s) {
    return {s[0], s[1], s[2], s[3]};
}
bool isCritical(const ChunkName& n) {
    return (static_cast<uint8_t>(n[0]) & 0x20) == 0;
}

template <class T>
std::unique_ptr<TChunk> make(TPNGObject& owner) {
    return std::make_unique<T>(owner);
}

struct ChunkClass {
    const char* name;
    std::unique_ptr<TChunk> (*create)(TPNGObject&);
};

// The table of chunk classes, in lookup order.
const ChunkClass kChunkClasses[] = {
    {"IEND", make<TChunkIEND>}, {"IHDR", make<TChunkIHDR>}, {"IDAT", make<TChunkIDAT>},
    {"PLTE", make<TChunkPLTE>}, {"gAMA", make<TChunkgAMA>}, {"tRNS", make<TChunktRNS>},
    {"pHYs", make<TChunkpHYs>}, {"tIME", make<TChunktIME>}, {"tEXt", make<TChunktEXt>},
    {"zTXt", make<TChunkzTXt>},
};

const ChunkClass* findClass(const ChunkName& name) {
    for (const ChunkClass& c : kChunkClasses)
        if (isName(name, c.name))
            return &c;
    return nullptr;
}

// A fixed stand-in for the system halftone palette that palette images start
// from: the 6x6x6 colour cube followed by a grey ramp.
std::array<uint32_t, 256> halftonePalette() {
    std::array<uint32_t, 256> p{};
    int i = 0;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                p[i++] = (uint32_t(r * 51) << 16) | (uint32_t(g * 51) << 8) | uint32_t(b * 51);
    for (int k = 0; i < 256; ++i, ++k) {
        uint32_t v = static_cast<uint32_t>(k * 255 / 39);
        p[i] = (v << 16) | (v << 8) | v;
    }
    return p;
}

uint32_t grey(uint8_t v) {
    return (uint32_t{v} << 16) | (uint32_t{v} << 8) | v;
}

detail::Plane allocatePlane(size_t size) {
    if (size == 0)
        return nullptr;
    // calloc: large blocks come zeroed from the system without being touched.
    auto* p = static_cast<uint8_t*>(std::calloc(size, 1));
    if (!p)
        throw EPNGOutMemory(pnglang::EPNGOutMemoryText);
    return detail::Plane(p);
}

detail::Plane copyPlane(const uint8_t* source, size_t size) {
    detail::Plane p = allocatePlane(size);
    if (p)
        std::memcpy(p.get(), source, size);
    return p;
}

struct StorageLayout {
    unsigned bitsPerPixel;
    uint32_t bytesPerRow;
    uint64_t bitmap, alpha, extra;
};

StorageLayout layoutFor(uint32_t width, uint32_t height, uint8_t depth, uint8_t colorType) {
    StorageLayout s{};
    if (colorType == COLOR_RGB || colorType == COLOR_RGBALPHA)
        s.bitsPerPixel = 24;
    else if (depth == 2)
        s.bitsPerPixel = 4;  // bitmaps have no 2-bit format
    else
        s.bitsPerPixel = depth == 16 ? 8 : depth;
    s.bytesPerRow = static_cast<uint32_t>((uint64_t{s.bitsPerPixel} * width + 31) / 32 * 4);
    s.bitmap = uint64_t{s.bytesPerRow} * height;
    if (colorType == COLOR_GRAYSCALEALPHA || colorType == COLOR_RGBALPHA)
        s.alpha = uint64_t{width} * height;
    if (depth == 16)
        s.extra = s.bitmap;
    return s;
}

bool validDepth(uint8_t colorType, uint8_t depth) {
    switch (colorType) {
        case COLOR_GRAYSCALE:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case COLOR_PALETTE:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case COLOR_RGB:
        case COLOR_GRAYSCALEALPHA:
        case COLOR_RGBALPHA:
            return depth == 8 || depth == 16;
        default:
            return false;
    }
}

unsigned samplesPerPixel(uint8_t colorType) {
    switch (colorType) {
        case COLOR_RGB:
            return 3;
        case COLOR_GRAYSCALEALPHA:
            return 2;
        case COLOR_RGBALPHA:
            return 4;
        default:
            return 1;
    }
}

// Turns unfiltered rows into the header's storage, pass by pass.
class ImageDecoder {
public:
    ImageDecoder(TChunkIHDR& header, const std::array<uint8_t, 256>& gamma, unsigned paletteCount)
        : h_(header),
          gamma_(gamma),
          passes_(pngrows::passesFor(header.Width, header.Height, header.InterlaceMethod == 1)),
          bitsPerPixel_(samplesPerPixel(header.ColorType) * header.BitDepth),
          pixelBytes_(std::max(1u, bitsPerPixel_ / 8)),
          paletteCount_(paletteCount) {
        size_t widest = pngrows::rowBytes(header.Width, bitsPerPixel_) + 1;
        current_.assign(widest, 0);
        prior_.assign(widest, 0);
        passIndex_ = -1;
        nextPass();
    }

    bool done() const { return passIndex_ >= passes_.count; }

    // Room left in the row being filled.
    uint8_t* space(size_t* room) {
        *room = rowLength_ + 1 - filled_;
        return current_.data() + filled_;
    }

    void advance(size_t n) {
        filled_ += n;
        if (filled_ == rowLength_ + 1)
            finishRow();
    }

private:
    void nextPass() {
        do {
            ++passIndex_;
        } while (passIndex_ < passes_.count &&
                 (passes_.passes[passIndex_].width == 0 || passes_.passes[passIndex_].height == 0));
        if (done())
            return;
        pass_ = passes_.passes[passIndex_];
        rowLength_ = pngrows::rowBytes(pass_.width, bitsPerPixel_);
        row_ = 0;
        filled_ = 0;
        std::fill(prior_.begin(), prior_.begin() + rowLength_ + 1, 0);
    }

    void finishRow() {
        uint8_t* row = current_.data() + 1;
        // An unknown filter type leaves the row as it came: the bytes are
        // still decoded, nothing is read out of place.
        pngrows::unfilterRow(current_[0], row, prior_.data() + 1, rowLength_, pixelBytes_);
        storeRow(row, pass_.yStart + row_ * pass_.yStep);
        std::swap(current_, prior_);
        filled_ = 0;
        if (++row_ == pass_.height)
            nextPass();
    }

    void storeRow(const uint8_t* src, uint32_t y);
    template <bool Unit>
    void storeRowStepped(const uint8_t* src, uint32_t y);
    void checkPaletteIndices(const uint8_t* src);

    TChunkIHDR& h_;
    const std::array<uint8_t, 256>& gamma_;
    pngrows::PassList passes_;
    unsigned bitsPerPixel_;
    unsigned pixelBytes_;
    unsigned paletteCount_;
    int passIndex_ = 0;
    pngrows::Pass pass_{};
    size_t rowLength_ = 0;
    uint32_t row_ = 0;
    size_t filled_ = 0;
    std::vector<uint8_t> current_, prior_;
};

inline void setPacked(uint8_t* row, uint32_t x, unsigned bits, unsigned value) {
    if (bits == 1) {
        unsigned shift = 7 - (x & 7);
        row[x >> 3] = static_cast<uint8_t>((row[x >> 3] & ~(1u << shift)) | (value << shift));
    } else {  // 4 bits
        unsigned shift = (x & 1) ? 0 : 4;
        row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & ~(0xFu << shift)) | (value << shift));
    }
}

inline unsigned getPacked(const uint8_t* row, uint32_t i, unsigned bits) {
    unsigned perByte = 8 / bits;
    unsigned shift = 8 - bits * (i % perByte + 1);
    return (row[i / perByte] >> shift) & ((1u << bits) - 1);
}

void ImageDecoder::checkPaletteIndices(const uint8_t* src) {
    unsigned depth = h_.BitDepth;
    if (paletteCount_ >= (1u << depth))
        return;
    unsigned highest = 0;
    if (depth == 8) {
        for (uint32_t i = 0; i < pass_.width; ++i)
            highest = std::max<unsigned>(highest, src[i]);
    } else {
        for (uint32_t i = 0; i < pass_.width; ++i)
            highest = std::max(highest, getPacked(src, i, depth));
    }
    if (highest >= paletteCount_)
        throw EPngError(pnglang::EPngErrorPaletteIndexText);
}

void ImageDecoder::storeRow(const uint8_t* src, uint32_t y) {
    if (h_.ColorType == COLOR_PALETTE)
        checkPaletteIndices(src);
    if (pass_.xStep == 1)
        storeRowStepped<true>(src, y);
    else
        storeRowStepped<false>(src, y);
}

// Unit: the pass covers every column (x == i), which lets the plain-image
// loops run over contiguous bytes.
template <bool Unit>
void ImageDecoder::storeRowStepped(const uint8_t* src, uint32_t y) {
    const uint32_t width = h_.Width;
    const uint32_t n = pass_.width;
    const uint32_t x0 = pass_.xStart, dx = pass_.xStep;
    auto column = [&](uint32_t i) -> uint32_t { return Unit ? i : x0 + i * dx; };
    const size_t rowOffset = size_t{h_.Height - 1 - y} * h_.BytesPerRow();
    uint8_t* dst = h_.ImageData() + rowOffset;
    uint8_t* extra = h_.ExtraImageData() ? h_.ExtraImageData() + rowOffset : nullptr;
    uint8_t* alpha = h_.ImageAlpha() ? h_.ImageAlpha() + size_t{y} * width : nullptr;
    const uint8_t* g = gamma_.data();
    const unsigned depth = h_.BitDepth;

    switch (h_.ColorType) {
        case COLOR_GRAYSCALE:
        case COLOR_PALETTE:
            if (depth == 16) {  // grey only
                for (uint32_t i = 0; i < n; ++i, src += 2) {
                    uint32_t x = column(i);
                    dst[x] = g[src[0]];
                    extra[x] = src[1];
                }
            } else if (depth == 8) {
                if (h_.ColorType == COLOR_PALETTE) {
                    if (Unit) {
                        std::memcpy(dst, src, n);
                    } else {
                        for (uint32_t i = 0; i < n; ++i)
                            dst[column(i)] = src[i];
                    }
                } else {
                    for (uint32_t i = 0; i < n; ++i)
                        dst[column(i)] = g[src[i]];
                }
            } else if (depth == 2) {
                for (uint32_t i = 0; i < n; ++i)
                    setPacked(dst, column(i), 4, getPacked(src, i, 2));
            } else if (Unit) {  // 1 and 4 bits: the bitmap packs them the same way
                std::memcpy(dst, src, pngrows::rowBytes(n, depth));
            } else {
                for (uint32_t i = 0; i < n; ++i)
                    setPacked(dst, column(i), depth, getPacked(src, i, depth));
            }
            break;
        case COLOR_GRAYSCALEALPHA:
            if (depth == 16) {
                for (uint32_t i = 0; i < n; ++i, src += 4) {
                    uint32_t x = column(i);
                    dst[x] = g[src[0]];
                    extra[x] = src[1];
                    alpha[x] = src[2];
                }
            } else {
                for (uint32_t i = 0; i < n; ++i, src += 2) {
                    uint32_t x = column(i);
                    dst[x] = g[src[0]];
                    alpha[x] = src[1];
                }
            }
            break;
        case COLOR_RGB:
            if (depth == 16) {
                for (uint32_t i = 0; i < n; ++i, src += 6) {
                    uint8_t* d = dst + size_t{column(i)} * 3;
                    uint8_t* e = extra + size_t{column(i)} * 3;
                    d[0] = g[src[4]], d[1] = g[src[2]], d[2] = g[src[0]];
                    e[0] = src[5], e[1] = src[3], e[2] = src[1];
                }
            } else {
                for (uint32_t i = 0; i < n; ++i, src += 3) {
                    uint8_t* d = dst + size_t{column(i)} * 3;
                    d[0] = g[src[2]], d[1] = g[src[1]], d[2] = g[src[0]];
                }
            }
            break;
        case COLOR_RGBALPHA:
            if (depth == 16) {
                for (uint32_t i = 0; i < n; ++i, src += 8) {
                    uint32_t x = column(i);
                    uint8_t* d = dst + size_t{x} * 3;
                    uint8_t* e = extra + size_t{x} * 3;
                    d[0] = g[src[4]], d[1] = g[src[2]], d[2] = g[src[0]];
                    e[0] = src[5], e[1] = src[3], e[2] = src[1];
                    alpha[x] = src[6];
                }
            } else {
                for (uint32_t i = 0; i < n; ++i, src += 4) {
                    uint32_t x = column(i);
                    uint8_t* d = dst + size_t{x} * 3;
                    d[0] = g[src[2]], d[1] = g[src[1]], d[2] = g[src[0]];
                    alpha[x] = src[3];
                }
            }
            break;
    }
}

}  // namespace

// ---------------------------------------------------------------- chunks

std::unique_ptr<TChunk> CreateChunk(TPNGObject& owner, const ChunkName& name) {
    if (const ChunkClass* c = findClass(name))
        return c->create(owner);
    return std::make_unique<TChunk>(owner, name);
}

bool IsRegisteredChunkClass(const ChunkName& name) {
    return findClass(name) != nullptr;
}

TChunk::TChunk(TPNGObject& owner, const ChunkName& name) : owner_(&owner), name_(name) {}

void TChunk::Assign(const TChunk& source) {
    if (source.name_ != name_ || typeid(source) != typeid(*this))
        throw EPngError(pnglang::EPngErrorAssignText);
    data_ = source.data_;
}

void TChunk::LoadFromStream(ChunkReader& reader, uint32_t length) {
    // Grow with the data actually read, so a huge length in a short file
    // costs no more memory than the file has bytes.
    constexpr size_t kBlock = 65536;
    data_.clear();
    while (data_.size() < length) {
        size_t old = data_.size();
        size_t want = std::min<size_t>(kBlock, length - old);
        data_.resize(old + want);
        size_t got = reader.readData(data_.data() + old, want);
        if (got < want) {
            data_.resize(old + got);
            throw EPngInvalidCRC(pnglang::EPngInvalidCRCText);
        }
    }
    reader.checkCrc();
    Parse();
}

TChunkIEND::TChunkIEND(TPNGObject& owner) : TChunk(owner, makeName("IEND")) {}

// ---------------------------------------------------------------- IHDR

TChunkIHDR::TChunkIHDR(TPNGObject& owner) : TChunk(owner, makeName("IHDR")) {}

void TChunkIHDR::Parse() {
    if (data_.size() < 13)
        throw EPngInvalidIHDR(pnglang::EPngInvalidIHDRText);
    const uint8_t* d = data_.data();
    Width = detail::bigEndian32(d);
    Height = detail::bigEndian32(d + 4);
    BitDepth = d[8];
    ColorType = d[9];
    CompressionMethod = d[10];
    FilterMethod = d[11];
    InterlaceMethod = d[12];
    if (Width > 65535 || Height > 65535)
        throw EPNGSizeExceeds(pnglang::EPNGSizeExceedsText);
    if (CompressionMethod != 0)
        throw EPNGUnknownCompression(pnglang::EPNGUnknownCompressionText);
    if (InterlaceMethod > 1)
        throw EPNGUnknownInterlace(pnglang::EPNGUnknownInterlaceText);
    // Later code trusts these: an empty image or a colour type and depth
    // that PNG does not define cannot be decoded.
    if (Width == 0 || Height == 0 || !validDepth(ColorType, BitDepth))
        throw EPngInvalidIHDR(pnglang::EPngInvalidIHDRText);
    PrepareImageData();
}

void TChunkIHDR::PrepareImageData() {
    StorageLayout s = layoutFor(Width, Height, BitDepth, ColorType);
    if (s.bitmap + s.alpha + s.extra > kMaxStorageBytes)
        throw EPNGOutMemory(pnglang::EPNGOutMemoryText);
    bitmap_.reset();
    alpha_.reset();
    extra_.reset();
    bitmap_ = allocatePlane(s.bitmap);
    alpha_ = allocatePlane(s.alpha);
    extra_ = allocatePlane(s.extra);
    bitmapSize_ = s.bitmap;
    bitsPerPixel_ = s.bitsPerPixel;
    bytesPerRow_ = s.bytesPerRow;

    ColorTable.fill(0);
    colorCount_ = 0;
    if (ColorType == COLOR_PALETTE) {
        ColorTable = halftonePalette();
    } else if (ColorType == COLOR_GRAYSCALE || ColorType == COLOR_GRAYSCALEALPHA) {
        unsigned entries = BitDepth >= 8 ? 256 : 1u << BitDepth;
        const auto& gamma = Owner().GammaTable;
        for (unsigned n = 0; n < entries; ++n)
            ColorTable[n] = grey(gamma[(n * 255 + (entries - 1) / 2) / (entries - 1)]);
        colorCount_ = entries;
    }
}

void TChunkIHDR::Assign(const TChunk& source) {
    TChunk::Assign(source);
    const auto& s = static_cast<const TChunkIHDR&>(source);
    Width = s.Width;
    Height = s.Height;
    BitDepth = s.BitDepth;
    ColorType = s.ColorType;
    CompressionMethod = s.CompressionMethod;
    FilterMethod = s.FilterMethod;
    InterlaceMethod = s.InterlaceMethod;
    bitsPerPixel_ = s.bitsPerPixel_;
    bytesPerRow_ = s.bytesPerRow_;
    colorCount_ = s.colorCount_;
    ColorTable = s.ColorTable;
    bitmapSize_ = s.bitmapSize_;
    size_t planeSize = size_t{Width} * Height;
    bitmap_ = copyPlane(s.bitmap_.get(), s.bitmap_ ? bitmapSize_ : 0);
    alpha_ = copyPlane(s.alpha_.get(), s.alpha_ ? planeSize : 0);
    extra_ = copyPlane(s.extra_.get(), s.extra_ ? bitmapSize_ : 0);
}

uint32_t TChunkIHDR::PixelColor(uint32_t x, uint32_t y) const {
    const uint8_t* row = bitmap_.get() + size_t{Height - 1 - y} * bytesPerRow_;
    switch (bitsPerPixel_) {
        case 24: {
            const uint8_t* p = row + size_t{x} * 3;
            return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
        }
        case 8:
            return ColorTable[row[x]];
        default:
            return ColorTable[getPacked(row, x, bitsPerPixel_)];
    }
}

void TChunkIHDR::ChangeColorType(uint8_t colorType) {
    bool hadAlpha = ColorType == COLOR_GRAYSCALEALPHA || ColorType == COLOR_RGBALPHA;
    bool needsAlpha = colorType == COLOR_GRAYSCALEALPHA || colorType == COLOR_RGBALPHA;
    if (needsAlpha && !hadAlpha) {
        size_t size = size_t{Width} * Height;
        detail::Plane plane = allocatePlane(size);
        std::memset(plane.get(), 255, size);
        alpha_ = std::move(plane);
    } else if (!needsAlpha) {
        alpha_.reset();
    }
    ColorType = colorType;
    if (data_.size() > 9)
        data_[9] = colorType;
}

// ---------------------------------------------------------------- IDAT

TChunkIDAT::TChunkIDAT(TPNGObject& owner) : TChunk(owner, makeName("IDAT")) {}

void TChunkIDAT::LoadFromStream(ChunkReader& reader, uint32_t length) {
    TPNGObject& owner = Owner();
    TChunkIHDR& header = owner.Header();
    const TChunkPLTE* palette = owner.Find<TChunkPLTE>();
    ImageDecoder decoder(header, owner.GammaTable, palette ? palette->Count() : 0);

    zlibpas::Inflater inflater;
    if (inflater.initResult() != Z_OK)
        throw EPNGZLIBError(pnglang::EPNGZLIBErrorText +
                            zlibpas::describeResult(inflater.initResult()));

    // zlib takes the stream in blocks of at most 65535 bytes.
    std::vector<uint8_t> block(65535);
    uint32_t remaining = length;
    bool streamEnded = false;
    while (!decoder.done() && !streamEnded) {
        if (remaining == 0) {
            // This chunk is used up but the image is not: the data must go
            // on in the very next chunk.
            reader.checkCrc();
            ChunkName next;
            if (!reader.readChunkHeader(remaining, next) || !isName(next, "IDAT"))
                throw EPNGMissingMultipleIDAT(pnglang::EPNGMissingMultipleIDATText);
            if (remaining > kMaxChunkLength)
                throw EPngInvalidCRC(pnglang::EPngInvalidCRCText);
            continue;
        }
        size_t want = std::min<size_t>(remaining, block.size());
        if (reader.readData(block.data(), want) != want)
            throw EPngInvalidCRC(pnglang::EPngInvalidCRCText);
        remaining -= static_cast<uint32_t>(want);
        inflater.setInput(block.data(), want);
        while (inflater.availableInput() > 0 && !decoder.done()) {
            size_t room = 0;
            uint8_t* out = decoder.space(&room);
            size_t produced = 0;
            int result = inflater.inflate(out, room, &produced);
            if (result < 0)
                throw EPNGZLIBError(pnglang::EPNGZLIBErrorText + zlibpas::describeResult(result));
            decoder.advance(produced);
            if (result == Z_STREAM_END) {
                // Rows the stream did not reach stay zero.
                streamEnded = true;
                break;
            }
        }
    }
    // The image is complete: the rest of this chunk is not needed, but its
    // CRC is still checked. Further IDAT chunks are skipped by the caller.
    if (!reader.skipData(remaining))
        throw EPngInvalidCRC(pnglang::EPngInvalidCRCText);
    reader.checkCrc();
}

// ---------------------------------------------------------------- PLTE

TChunkPLTE::TChunkPLTE(TPNGObject& owner) : TChunk(owner, makeName("PLTE")) {}

void TChunkPLTE::Parse() {
    if (data_.size() % 3 != 0 || data_.size() / 3 > 256)
        throw EPNGInvalidPalette(pnglang::EPNGInvalidPaletteText);
    const auto& gamma = Owner().GammaTable;
    count_ = static_cast<unsigned>(data_.size() / 3);
    for (unsigned i = 0; i < count_; ++i) {
        const uint8_t* e = data_.data() + 3 * i;
        entries_[i] = (uint32_t{gamma[e[0]]} << 16) | (uint32_t{gamma[e[1]]} << 8) | gamma[e[2]];
    }
    TPNGObject& owner = Owner();
    if (!owner.Empty()) {
        TChunkIHDR& header = owner.Header();
        if (header.ColorType == COLOR_PALETTE) {
            std::copy(entries_.begin(), entries_.begin() + count_, header.ColorTable.begin());
            header.colorCount_ = count_;
        }
    }
}

uint32_t TChunkPLTE::Item(unsigned index) const {
    if (index >= count_)
        throw EPngError(pnglang::EPngErrorPaletteIndexText);
    return entries_[index];
}

void TChunkPLTE::Assign(const TChunk& source) {
    TChunk::Assign(source);
    const auto& s = static_cast<const TChunkPLTE&>(source);
    entries_ = s.entries_;
    count_ = s.count_;
}

// ---------------------------------------------------------------- gAMA

TChunkgAMA::TChunkgAMA(TPNGObject& owner) : TChunk(owner, makeName("gAMA")) {}

uint32_t TChunkgAMA::Gamma() const {
    return data_.size() >= 4 ? detail::bigEndian32(data_.data()) : 0;
}

void TChunkgAMA::Parse() {
    uint32_t g = Gamma();
    if (g == 0)
        return;  // also a chunk too short to hold a value: the tables stay
    TPNGObject& owner = Owner();
    double exponent = 1.0 / (g / 100000.0 * 2.2);
    for (int i = 0; i < 256; ++i) {
        // nearbyint rounds half to even in the default rounding mode.
        double v = std::nearbyint(255.0 * std::pow(i / 255.0, exponent));
        uint8_t value = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
        owner.GammaTable[i] = value;
        owner.InverseTable[value] = static_cast<uint8_t>(i);
    }
}

// ---------------------------------------------------------------- tRNS

TChunktRNS::TChunktRNS(TPNGObject& owner) : TChunk(owner, makeName("tRNS")) {
    PaletteValues.fill(255);
}

void TChunktRNS::Parse() {
    if (data_.size() > 256)
        throw EPNGInvalidPalette(pnglang::EPNGInvalidPaletteText);
    PaletteValues.fill(255);
    std::copy(data_.begin(), data_.end(), PaletteValues.begin());
    TPNGObject& owner = Owner();
    uint8_t colorType = owner.Empty() ? COLOR_PALETTE : owner.Header().ColorType;
    if (colorType == COLOR_PALETTE)
        BitTransparency =
            std::count_if(data_.begin(), data_.end(), [](uint8_t a) { return a != 255; }) == 1;
    else
        BitTransparency = true;
}

void TChunktRNS::SetData(const std::vector<uint8_t>& data) {
    data_ = data;
    Parse();
}

void TChunktRNS::Assign(const TChunk& source) {
    TChunk::Assign(source);
    const auto& s = static_cast<const TChunktRNS&>(source);
    PaletteValues = s.PaletteValues;
    BitTransparency = s.BitTransparency;
}

// ---------------------------------------------------------------- others

TChunkpHYs::TChunkpHYs(TPNGObject& owner) : TChunk(owner, makeName("pHYs")) {}

void TChunkpHYs::Parse() {
    if (data_.size() < 9)
        return;
    PPUnitX = detail::bigEndian32(data_.data());
    PPUnitY = detail::bigEndian32(data_.data() + 4);
    UnitType = data_[8];
}

void TChunkpHYs::Assign(const TChunk& source) {
    TChunk::Assign(source);
    const auto& s = static_cast<const TChunkpHYs&>(source);
    PPUnitX = s.PPUnitX;
    PPUnitY = s.PPUnitY;
    UnitType = s.UnitType;
}

TChunktIME::TChunktIME(TPNGObject& owner) : TChunk(owner, makeName("tIME")) {}

void TChunktIME::Parse() {
    if (data_.size() < 7)
        return;
    Year = static_cast<uint16_t>((data_[0] << 8) | data_[1]);
    Month = data_[2];
    Day = data_[3];
    Hour = data_[4];
    Minute = data_[5];
    Second = data_[6];
}

void TChunktIME::Assign(const TChunk& source) {
    TChunk::Assign(source);
    const auto& s = static_cast<const TChunktIME&>(source);
    Year = s.Year;
    Month = s.Month;
    Day = s.Day;
    Hour = s.Hour;
    Minute = s.Minute;
    Second = s.Second;
}

TChunktEXt::TChunktEXt(TPNGObject& owner) : TChunk(owner, makeName("tEXt")) {}

void TChunktEXt::Parse() {
    auto zero = std::find(data_.begin(), data_.end(), uint8_t{0});
    Keyword.assign(data_.begin(), zero);
    Text.assign(zero == data_.end() ? zero : zero + 1, data_.end());
}

void TChunktEXt::Assign(const TChunk& source) {
    TChunk::Assign(source);
    const auto& s = static_cast<const TChunktEXt&>(source);
    Keyword = s.Keyword;
    Text = s.Text;
}

TChunkzTXt::TChunkzTXt(TPNGObject& owner) : TChunk(owner, makeName("zTXt")) {}

void TChunkzTXt::Parse() {
    auto zero = std::find(data_.begin(), data_.end(), uint8_t{0});
    Keyword.assign(data_.begin(), zero);
    CompressedText.clear();
    CompressionMethod = 0;
    if (zero != data_.end() && zero + 1 != data_.end()) {
        CompressionMethod = *(zero + 1);
        CompressedText.assign(zero + 2, data_.end());
    }
}

void TChunkzTXt::Assign(const TChunk& source) {
    TChunk::Assign(source);
    const auto& s = static_cast<const TChunkzTXt&>(source);
    Keyword = s.Keyword;
    CompressionMethod = s.CompressionMethod;
    CompressedText = s.CompressedText;
}

// ---------------------------------------------------------------- object

TPNGObject::TPNGObject() {
    InitializeGamma();
}
TPNGObject::~TPNGObject() = default;

TPNGObject::TPNGObject(TPNGObject&& other) noexcept {
    *this = std::move(other);
}

TPNGObject& TPNGObject::operator=(TPNGObject&& other) noexcept {
    if (this != &other) {
        chunks_ = std::move(other.chunks_);
        GammaTable = other.GammaTable;
        InverseTable = other.InverseTable;
        for (auto& c : chunks_)
            c->owner_ = this;
        other.Clear();
    }
    return *this;
}

void TPNGObject::InitializeGamma() {
    for (int i = 0; i < 256; ++i)
        GammaTable[i] = InverseTable[i] = static_cast<uint8_t>(i);
}

void TPNGObject::Clear() {
    chunks_.clear();
    InitializeGamma();
}

int TPNGObject::Width() const {
    return Empty() ? 0 : static_cast<int>(Header().Width);
}
int TPNGObject::Height() const {
    return Empty() ? 0 : static_cast<int>(Header().Height);
}

TChunkIHDR& TPNGObject::Header() const {
    auto* header = Empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
    if (!header)
        throw EPNGHeaderNotPresent(pnglang::EPNGHeaderNotPresentText);
    return *header;
}

TChunk* TPNGObject::FindChunk(const char* name) const {
    for (const auto& c : chunks_)
        if (isName(c->Name(), name))
            return c.get();
    return nullptr;
}

void TPNGObject::LoadFromFile(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file)
        throw pagelume::EInOutError("Cannot open file \"" + fileName + "\". " +
                                    std::strerror(errno));
    LoadFromStream(file);
}

void TPNGObject::LoadFromStream(std::istream& stream) {
    detail::StreamSource source(stream);
    ChunkReader reader(source);
    Load(reader);
}

void TPNGObject::LoadFromMemory(const void* data, size_t size) {
    detail::MemorySource source(static_cast<const uint8_t*>(data), data ? size : 0);
    ChunkReader reader(source);
    Load(reader);
}

void TPNGObject::Load(ChunkReader& reader) {
    Clear();
    uint8_t signature[8];
    if (reader.source.read(signature, 8) != 8 || std::memcmp(signature, kSignature, 8) != 0)
        throw EPNGInvalidFileHeader(pnglang::EPNGInvalidFileHeaderText);

    bool imageDataSeen = false;
    for (;;) {
        uint32_t length = 0;
        ChunkName name;
        if (!reader.readChunkHeader(length, name))
            throw EPngUnexpectedEnd(pnglang::EPngUnexpectedEndText);
        if (chunks_.empty() && !isName(name, "IHDR"))
            throw EPNGIHDRNotFirst(pnglang::EPNGIHDRNotFirstText);
        if (length > kMaxChunkLength)
            throw EPngInvalidCRC(pnglang::EPngInvalidCRCText);

        bool isImageData = isName(name, "IDAT");
        if (isName(name, "cHRM") || (isImageData && imageDataSeen)) {
            reader.skipRaw(uint64_t{length} + 4);
            continue;
        }
        // A second header would replace the storage the image data is
        // decoded into; PNG allows only one.
        if (isName(name, "IHDR") && !chunks_.empty())
            throw EPngInvalidIHDR(pnglang::EPngInvalidIHDRText);

        std::unique_ptr<TChunk> chunk = CreateChunk(*this, name);
        if (!IsRegisteredChunkClass(name) && isCritical(name))
            throw EPNGUnknownCriticalChunk(pnglang::EPNGUnknownCriticalChunkText);
        chunk->LoadFromStream(reader, length);
        chunks_.push_back(std::move(chunk));
        imageDataSeen = imageDataSeen || isImageData;
        if (isName(name, "IEND"))
            break;
    }
    if (!imageDataSeen)
        throw EPNGNoImageData(pnglang::EPNGNoImageDataText);
}

void TPNGObject::Assign(const TPNGObject* source) {
    if (source == this)
        return;
    Clear();
    if (!source)
        return;
    GammaTable = source->GammaTable;
    InverseTable = source->InverseTable;
    for (const auto& c : source->chunks_) {
        std::unique_ptr<TChunk> copy = CreateChunk(*this, c->Name());
        copy->Assign(*c);
        chunks_.push_back(std::move(copy));
    }
}

TChunk& TPNGObject::AddChunk(const char* name) {
    if (Empty())
        throw EPngError(pnglang::EPngErrorNoHeaderText);
    ChunkName n = makeName(name);
    if (isCritical(n) && FindChunk(name))
        throw EPngError(pnglang::EPngErrorExistingCriticalText);
    auto at = std::find_if(chunks_.begin(), chunks_.end(),
                           [](const auto& c) { return isName(c->Name(), "IEND"); });
    return **chunks_.insert(at, CreateChunk(*this, n));
}

void TPNGObject::Resize(int newWidth, int newHeight) {
    TChunkIHDR& h = Header();
    if (newWidth < 1 || newWidth > 65535 || newHeight < 1 || newHeight > 65535)
        throw EPNGInvalidNewSize(pnglang::EPNGInvalidNewSizeText);
    const uint32_t w = static_cast<uint32_t>(newWidth), ht = static_cast<uint32_t>(newHeight);
    StorageLayout s = layoutFor(w, ht, h.BitDepth, h.ColorType);
    if (h.ColorType == COLOR_GRAYSCALEALPHA || h.ColorType == COLOR_RGBALPHA || h.alpha_ != nullptr)
        s.alpha = uint64_t{w} * ht;
    if (s.bitmap + s.alpha + s.extra > kMaxStorageBytes)
        throw EPNGInvalidNewSize(pnglang::EPNGInvalidNewSizeText);

    detail::Plane bitmap = allocatePlane(s.bitmap);
    detail::Plane alpha = allocatePlane(s.alpha);
    detail::Plane extra = allocatePlane(s.extra);
    const uint32_t rows = std::min(h.Height, ht), columns = std::min(h.Width, w);
    const size_t rowCopy = std::min(h.bytesPerRow_, s.bytesPerRow);
    for (uint32_t y = 0; y < rows; ++y) {
        size_t from = size_t{h.Height - 1 - y} * h.bytesPerRow_;
        size_t to = size_t{ht - 1 - y} * s.bytesPerRow;
        std::memcpy(bitmap.get() + to, h.bitmap_.get() + from, rowCopy);
        if (extra && h.extra_)
            std::memcpy(extra.get() + to, h.extra_.get() + from, rowCopy);
        if (alpha && h.alpha_)
            std::memcpy(alpha.get() + size_t{y} * w, h.alpha_.get() + size_t{y} * h.Width, columns);
    }
    h.bitmap_ = std::move(bitmap);
    h.alpha_ = std::move(alpha);
    h.extra_ = std::move(extra);
    h.bitmapSize_ = s.bitmap;
    h.bytesPerRow_ = s.bytesPerRow;
    h.Width = w;
    h.Height = ht;
    if (h.data_.size() >= 8) {
        for (int i = 0; i < 4; ++i) {
            h.data_[i] = static_cast<uint8_t>(w >> (24 - 8 * i));
            h.data_[4 + i] = static_cast<uint8_t>(ht >> (24 - 8 * i));
        }
    }
}

}  // namespace pagelume::image
