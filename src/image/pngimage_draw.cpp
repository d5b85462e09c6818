// Drawing the PNG image object: per transparency mode, into a rectangle of a
// DrawSurface, plus the image's own ARGB pixels and the faded copy.
#include <algorithm>
#include <cstring>

#include "image/pngimage.h"
#include "image/pnglang.h"

namespace pagelume::image {

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

inline uint32_t blend(uint32_t s, uint32_t a, uint32_t d) {
    auto channel = [&](int shift) {
        uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
        return ((sc * a + (255 - a) * dc + 255) >> 8) << shift;
    };
    return kOpaque | channel(16) | channel(8) | channel(0);
}

// Turns one stored row into 0xAARRGGBB pixels: the alpha byte is 255 for
// opaque pixels, 0 for the transparent colour of single-colour mode and the
// stored alpha in partial mode.
class RowExpander {
public:
    explicit RowExpander(const TPNGObject& image)
        : h_(image.Header()), mode_(image.TransparencyMode()) {
        if (const TChunktRNS* t = image.Find<TChunktRNS>())
            paletteAlpha_ = t->PaletteValues;
        else
            paletteAlpha_.fill(255);
        transparent_ =
            mode_ == TPNGTransparencyMode::ptmSingleColor ? image.TransparentColor() : -1;
    }

    void expand(uint32_t y, uint32_t* out) const {
        const uint32_t w = h_.Width;
        const uint8_t* row = h_.ImageData() + size_t{h_.Height - 1 - y} * h_.BytesPerRow();
        const auto& table = h_.ColorTable;
        switch (h_.BitsPerPixel()) {
            case 24:
                for (uint32_t x = 0; x < w; ++x, row += 3)
                    out[x] = kOpaque | (uint32_t{row[2]} << 16) | (uint32_t{row[1]} << 8) | row[0];
                break;
            case 8:
                for (uint32_t x = 0; x < w; ++x)
                    out[x] = kOpaque | table[row[x]];
                break;
            case 4:
                for (uint32_t x = 0; x < w; ++x)
                    out[x] = kOpaque | table[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF];
                break;
            default:
                for (uint32_t x = 0; x < w; ++x)
                    out[x] = kOpaque | table[(row[x >> 3] >> (7 - (x & 7))) & 1];
                break;
        }
        if (mode_ == TPNGTransparencyMode::ptmSingleColor) {
            if (transparent_ >= 0) {
                const uint32_t key = kOpaque | static_cast<uint32_t>(transparent_);
                for (uint32_t x = 0; x < w; ++x)
                    if (out[x] == key)
                        out[x] &= 0x00FFFFFFu;
            }
        } else if (mode_ == TPNGTransparencyMode::ptmPartial) {
            if (const uint8_t* alpha = h_.ImageAlpha()) {
                alpha += size_t{y} * w;
                for (uint32_t x = 0; x < w; ++x)
                    out[x] = (out[x] & 0x00FFFFFFu) | (uint32_t{alpha[x]} << 24);
            } else if (h_.ColorType == COLOR_PALETTE) {
                for (uint32_t x = 0; x < w; ++x)
                    out[x] =
                        (out[x] & 0x00FFFFFFu) | (uint32_t{paletteAlpha_[index(row, x)]} << 24);
            }
        }
    }

    TPNGTransparencyMode mode() const { return mode_; }
    const TChunkIHDR& header() const { return h_; }

private:
    uint8_t index(const uint8_t* row, uint32_t x) const {
        switch (h_.BitsPerPixel()) {
            case 8:
                return row[x];
            case 4:
                return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
            default:
                return (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
    }

    const TChunkIHDR& h_;
    TPNGTransparencyMode mode_;
    std::array<uint8_t, 256> paletteAlpha_{};
    int64_t transparent_ = -1;
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

    RowExpander expander(*this);
    const TChunkIHDR& h = expander.header();
    if (!h.ImageData())
        return;
    const double ratioX = static_cast<double>(targetW) / h.Width;
    const double ratioY = static_cast<double>(targetH) / h.Height;
    std::vector<uint32_t> columns(static_cast<size_t>(x1 - x0));
    for (int64_t x = x0; x < x1; ++x)
        columns[x - x0] = sourceIndex(x - left, ratioX, targetW, h.Width);

    const TPNGTransparencyMode mode = expander.mode();
    // Grey with alpha and palette images blend every pixel; only RGB with
    // alpha takes the shortcuts for alpha 0 and 255.
    const bool shortcuts = h.ColorType == COLOR_RGBALPHA;
    std::vector<uint32_t> source(h.Width);
    int64_t expandedRow = -1;
    for (int64_t y = y0; y < y1; ++y) {
        uint32_t sy = sourceIndex(y - top, ratioY, targetH, h.Height);
        if (sy != expandedRow) {
            expander.expand(sy, source.data());
            expandedRow = sy;
        }
        uint32_t* out = surface.scanLine(static_cast<int>(y)) + x0;
        const size_t n = columns.size();
        switch (mode) {
            case TPNGTransparencyMode::ptmNone:
                for (size_t i = 0; i < n; ++i)
                    out[i] = source[columns[i]];
                break;
            case TPNGTransparencyMode::ptmSingleColor:
                for (size_t i = 0; i < n; ++i) {
                    uint32_t s = source[columns[i]];
                    if (s >> 24)
                        out[i] = s;
                }
                break;
            case TPNGTransparencyMode::ptmPartial:
                for (size_t i = 0; i < n; ++i) {
                    uint32_t s = source[columns[i]];
                    uint32_t a = s >> 24;
                    if (shortcuts && a == 0)
                        continue;
                    out[i] = shortcuts && a == 255 ? s : blend(s, a, out[i]);
                }
                break;
        }
    }
}

ARGBImage TPNGObject::ToARGB() const {
    ARGBImage image;
    if (Empty() || !Header().ImageData())
        return image;
    RowExpander expander(*this);
    const TChunkIHDR& h = expander.header();
    image.width = static_cast<int>(h.Width);
    image.height = static_cast<int>(h.Height);
    image.pixels.resize(size_t{h.Width} * h.Height);
    for (uint32_t y = 0; y < h.Height; ++y)
        expander.expand(y, image.pixels.data() + size_t{y} * h.Width);
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

}  // namespace pagelume::image
