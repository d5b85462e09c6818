// The image header and the pixel storage it owns: layout, allocation,
// copying, resizing and changing the colour type.
#include <algorithm>
#include <cstdlib>

#include "image/pngimage_internal.h"

namespace pagelume::image {

using detail::allocatePlane;
using detail::copyPlane;
using detail::layoutFor;
using detail::StorageLayout;

namespace detail {

Plane allocatePlane(size_t size) {
    if (size == 0)
        return nullptr;
    // calloc: large blocks come zeroed from the system without being touched.
    auto* p = static_cast<uint8_t*>(std::calloc(size, 1));
    if (!p)
        throw EPNGOutMemory(pnglang::EPNGOutMemoryText);
    return Plane(p);
}

Plane copyPlane(const uint8_t* source, size_t size) {
    Plane p = allocatePlane(size);
    if (p)
        std::memcpy(p.get(), source, size);
    return p;
}

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

}  // namespace detail

namespace {

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

}  // namespace

// ---------------------------------------------------------------- IHDR

TChunkIHDR::TChunkIHDR(TPNGObject& owner) : TChunk(owner, detail::makeName("IHDR")) {}

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
    // Rows that stream out as they are decoded need room for one row only;
    // an interlaced image's rows are complete only after its last pass.
    streaming_ = Owner().RowSink() && InterlaceMethod == 0;
    if (streaming_)
        s = layoutFor(Width, 1, BitDepth, ColorType);
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
            return ColorTable[detail::getPacked(row, x, bitsPerPixel_)];
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

// ---------------------------------------------------------------- resizing

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
