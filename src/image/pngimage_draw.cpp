// Drawing the PNG image object: per transparency mode, into a rectangle of a
// DrawSurface, plus the image's own ARGB pixels and the faded copy.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "image/drawrows.h"
#include "image/pngimage.h"
#include "image/pnglang.h"

namespace pagelume::image {

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;
constexpr uint32_t kColour = 0x00FFFFFFu;

// The stored pixels as drawing sees them, worked out once per call: rows
// turn into 0xAARRGGBB pixels whose alpha byte is 255 for opaque pixels, 0
// for the transparent colour of single-colour mode and the stored alpha in
// partial mode; the mode's rule then puts them onto the surface.
class PixelSource {
public:
    PixelSource(const TPNGObject& image, const drawrows::RowKernels& kernels)
        : h_(image.Header()), k_(kernels), mode_(image.TransparencyMode()) {
        using M = TPNGTransparencyMode;
        shortcuts_ = h_.ColorType == COLOR_RGBALPHA;
        if (mode_ == M::ptmPartial)
            alpha_ = h_.ImageAlpha();
        const int64_t transparent = mode_ == M::ptmSingleColor ? image.TransparentColor() : -1;
        if (h_.BitsPerPixel() == 24) {
            if (transparent >= 0)
                key_ = kOpaque | static_cast<uint32_t>(transparent);
            return;
        }
        // Index storage: the transparent colour and the palette's alpha go
        // into the table, so a row needs one lookup per pixel.
        const TChunktRNS* trns = image.Find<TChunktRNS>();
        const bool paletteAlpha =
            mode_ == M::ptmPartial && !alpha_ && h_.ColorType == COLOR_PALETTE && trns;
        for (size_t i = 0; i < table_.size(); ++i) {
            uint32_t pixel = kOpaque | h_.ColorTable[i];
            if (transparent >= 0 && pixel == (kOpaque | static_cast<uint32_t>(transparent)))
                pixel &= kColour;
            if (paletteAlpha)
                pixel = (pixel & kColour) | (uint32_t{trns->PaletteValues[i]} << 24);
            table_[i] = pixel;
        }
    }

    const TChunkIHDR& header() const { return h_; }
    TPNGTransparencyMode mode() const { return mode_; }

    // Pixels first .. first + n - 1 of row y.
    void expand(uint32_t y, uint32_t first, size_t n, uint32_t* out) const {
        const uint8_t* row = rowData(y);
        if (h_.BitsPerPixel() == 24)
            k_.expandBgr(row + size_t{first} * 3, out, n);
        else
            drawrows::expandIndexed(row, h_.BitsPerPixel(), first, table_.data(), out, n);
        if (alpha_)
            k_.putAlpha(alpha_ + h_.AlphaRowOffset(y) + first, out, n);
        if (key_)
            k_.clearKey(out, n, key_);
    }

    // Whether putDirect serves: a kernel takes the stored pixels straight to
    // the surface, with no row of pixels in between.
    bool direct() const {
        using M = TPNGTransparencyMode;
        if (mode_ == M::ptmNone)
            return true;
        return mode_ == M::ptmPartial && h_.BitsPerPixel() == 24 && alpha_ && shortcuts_;
    }

    void putDirect(uint32_t y, uint32_t first, size_t n, uint32_t* out) const {
        if (mode_ == TPNGTransparencyMode::ptmNone)
            expand(y, first, n, out);
        else
            k_.blendBgrAlpha(rowData(y) + size_t{first} * 3, alpha_ + h_.AlphaRowOffset(y) + first,
                             out, n);
    }

    // The mode's rule: copy, copy the visible pixels, or blend (RGB with
    // alpha skips alpha 0 and copies alpha 255; grey with alpha and palette
    // images blend every pixel).
    void put(const uint32_t* pixels, uint32_t* out, size_t n) const {
        switch (mode_) {
            case TPNGTransparencyMode::ptmNone:
                std::memcpy(out, pixels, n * sizeof *out);
                break;
            case TPNGTransparencyMode::ptmSingleColor:
                k_.copyVisible(pixels, out, n);
                break;
            case TPNGTransparencyMode::ptmPartial:
                (shortcuts_ ? k_.blendSkipping : k_.blend)(pixels, out, n);
                break;
        }
    }

private:
    const uint8_t* rowData(uint32_t y) const {
        return h_.ImageData() + h_.BitmapRowOffset(y);
    }

    const TChunkIHDR& h_;
    const drawrows::RowKernels& k_;
    TPNGTransparencyMode mode_;
    bool shortcuts_ = false;
    const uint8_t* alpha_ = nullptr;
    uint32_t key_ = 0;  // 0: no colour is transparent
    std::array<uint32_t, 256> table_{};
};

// The source coordinate of target offset t in a span of `target` pixels
// showing `source` pixels: nearest neighbour, computed in floating point.
inline uint32_t sourceIndex(int64_t t, double ratio, int64_t target, uint32_t source) {
    if (target == source)
        return static_cast<uint32_t>(t);
    auto s = static_cast<int64_t>(static_cast<double>(t) / ratio);
    return static_cast<uint32_t>(std::clamp<int64_t>(s, 0, int64_t{source} - 1));
}

}  // namespace

TPNGTransparencyMode TPNGObject::TransparencyMode() const {
    if (Empty())
        return TPNGTransparencyMode::ptmNone;
    const TChunkIHDR& h = Header();
    const TChunktRNS* trns = Find<TChunktRNS>();
    switch (h.ColorType) {
        case COLOR_GRAYSCALE:
        case COLOR_RGB:
            return trns ? TPNGTransparencyMode::ptmSingleColor : TPNGTransparencyMode::ptmNone;
        case COLOR_PALETTE:
            if (!trns)
                return TPNGTransparencyMode::ptmNone;
            return trns->BitTransparency ? TPNGTransparencyMode::ptmSingleColor
                                         : TPNGTransparencyMode::ptmPartial;
        default:
            return TPNGTransparencyMode::ptmPartial;
    }
}

int64_t TPNGObject::TransparentColor() const {
    const TChunktRNS* trns = Empty() ? nullptr : Find<TChunktRNS>();
    if (!trns)
        return -1;
    const TChunkIHDR& h = Header();
    const auto& v = trns->PaletteValues;
    switch (h.ColorType) {
        case COLOR_GRAYSCALE:
        case COLOR_GRAYSCALEALPHA:
            // A grey value beyond the ramp matches no pixel.
            return v[1] < h.ColorCount() ? int64_t{h.ColorTable[v[1]]} : -1;
        case COLOR_RGB:
        case COLOR_RGBALPHA:
            return (uint32_t{GammaTable[v[1]]} << 16) | (uint32_t{GammaTable[v[3]]} << 8) |
                   GammaTable[v[5]];
        default:
            for (int i = 0; i < 256; ++i)
                if (v[i] == 0)
                    return h.ColorTable[i];
            return 0;  // black
    }
}

void TPNGObject::Draw(DrawSurface& surface, const Rect& rect) const {
    if (Empty() || surface.empty())
        return;
    int64_t left = std::min(rect.left, rect.right), right = std::max(rect.left, rect.right);
    int64_t top = std::min(rect.top, rect.bottom), bottom = std::max(rect.top, rect.bottom);
    const int64_t targetW = right - left, targetH = bottom - top;
    if (targetW == 0 || targetH == 0)
        return;
    // Only the part of the rectangle on the surface is touched.
    const int64_t x0 = std::max<int64_t>(left, 0), x1 = std::min<int64_t>(right, surface.width());
    const int64_t y0 = std::max<int64_t>(top, 0), y1 = std::min<int64_t>(bottom, surface.height());
    if (x0 >= x1 || y0 >= y1)
        return;

    if (!Header().ImageData())
        return;
    const PixelSource source(*this, drawrows::ActiveKernels());
    const TChunkIHDR& h = source.header();
    const double ratioX = static_cast<double>(targetW) / h.Width;
    const double ratioY = static_cast<double>(targetH) / h.Height;
    const size_t n = static_cast<size_t>(x1 - x0);
    // At the image's own width the columns are one contiguous run of the
    // source row; stretched, each target column picks its source column.
    const bool sameWidth = targetW == h.Width;
    const uint32_t first = sameWidth ? static_cast<uint32_t>(x0 - left) : 0;
    std::vector<uint32_t> columns;
    if (!sameWidth) {
        columns.resize(n);
        for (int64_t x = x0; x < x1; ++x)
            columns[x - x0] = sourceIndex(x - left, ratioX, targetW, h.Width);
    }
    const bool direct = sameWidth && source.direct();
    const bool gather = !sameWidth && source.mode() != TPNGTransparencyMode::ptmNone;
    std::vector<uint32_t> row(direct ? 0 : sameWidth ? n : h.Width), picked(gather ? n : 0);
    int64_t expandedRow = -1;
    for (int64_t y = y0; y < y1; ++y) {
        const uint32_t sy = sourceIndex(y - top, ratioY, targetH, h.Height);
        uint32_t* out = surface.scanLine(static_cast<int>(y)) + x0;
        if (direct) {
            source.putDirect(sy, first, n, out);
            continue;
        }
        if (sy != expandedRow) {
            source.expand(sy, first, row.size(), row.data());
            expandedRow = sy;
        }
        if (sameWidth) {
            source.put(row.data(), out, n);
        } else if (!gather) {
            for (size_t i = 0; i < n; ++i)
                out[i] = row[columns[i]];
        } else {
            for (size_t i = 0; i < n; ++i)
                picked[i] = row[columns[i]];
            source.put(picked.data(), out, n);
        }
    }
}

ARGBImage TPNGObject::ToARGB() const {
    ARGBImage image;
    if (Empty() || !Header().ImageData())
        return image;
    const PixelSource source(*this, drawrows::ActiveKernels());
    const TChunkIHDR& h = source.header();
    image.width = static_cast<int>(h.Width);
    image.height = static_cast<int>(h.Height);
    image.pixels.resize(size_t{h.Width} * h.Height);
    for (uint32_t y = 0; y < h.Height; ++y)
        source.expand(y, 0, h.Width, image.pixels.data() + size_t{y} * h.Width);
    return image;
}

void MakeFadedCopy(const TPNGObject& source, TPNGObject& destination) {
    destination.Assign(&source);
    TChunkIHDR& h = destination.Header();  // EPNGHeaderNotPresent when empty
    switch (h.ColorType) {
        case COLOR_GRAYSCALE:
            h.ChangeColorType(COLOR_GRAYSCALEALPHA);
            break;
        case COLOR_RGB:
            h.ChangeColorType(COLOR_RGBALPHA);
            break;
        case COLOR_PALETTE: {
            auto* trns = destination.Find<TChunktRNS>();
            if (!trns)
                trns = static_cast<TChunktRNS*>(&destination.AddChunk("tRNS"));
            trns->SetData(std::vector<uint8_t>(size_t{1} << h.BitDepth, 255));
            trns->BitTransparency = false;
            return;  // palette images stay opaque and unfaded
        }
        default:
            break;
    }
    uint8_t* alpha = h.ImageAlpha();
    const size_t count = size_t{h.Width} * h.Height;
    for (size_t i = 0; i < count; ++i)
        alpha[i] = static_cast<uint8_t>(alpha[i] / 3);
}

void DecodeRows(const void* data, size_t size, const std::function<void(int, int)>& begin,
                const std::function<void(uint32_t, const uint32_t*)>& row) {
    TPNGObject png;
    std::vector<uint32_t> pixels;
    std::unique_ptr<PixelSource> source;
    // The header, palette and transparency chunks come before the first
    // row, so the pixel source is made then.
    const auto start = [&] {
        source = std::make_unique<PixelSource>(png, drawrows::ActiveKernels());
        pixels.resize(png.Header().Width);
        begin(static_cast<int>(png.Header().Width), static_cast<int>(png.Header().Height));
    };
    png.rowSink_ = [&](uint32_t y) {
        if (!source)
            start();
        source->expand(y, 0, pixels.size(), pixels.data());
        row(y, pixels.data());
    };
    png.LoadFromMemory(data, size);
    png.rowSink_ = nullptr;
    if (png.Header().Streaming())
        return;
    start();  // interlaced: decoded whole, handed out row by row
    for (uint32_t y = 0; y < png.Header().Height; ++y) {
        source->expand(y, 0, pixels.size(), pixels.data());
        row(y, pixels.data());
    }
}

}  // namespace pagelume::image
