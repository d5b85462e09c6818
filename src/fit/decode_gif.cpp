// GIF pages through giflib: the first frame on its logical screen, the
// transparent colour and the uncovered screen shown as white.
#include <algorithm>
#include <array>
#include <vector>

#include <gif_lib.h>

#include "fit/decode.h"

namespace pagelume::fit::detail {

namespace {

std::string gifMessage(int code) {
    const char* text = GifErrorString(code);
    return std::string("Cannot decode GIF picture: ") + (text ? text : "unknown error");
}

class GifReader final : public PageReader, public RowSource {
public:
    GifReader(const std::string& path, StopFlag stop) : stop_(stop) {
        int code = 0;
        gif_.g = DGifOpenFileName(path.c_str(), &code);
        if (!gif_.g)
            throw EFitError(gifMessage(code));
        const GifFileType* g = gif_.g;
        if (g->SWidth <= 0 || g->SHeight <= 0)
            throw EFitError("Cannot decode GIF picture: empty screen");
        if (uint64_t(g->SWidth) * uint64_t(g->SHeight) > kMaxPagePixels)
            throw EFitError("The page is too large");
        header_.format = PageFormat::Gif;
        header_.width = g->SWidth;
        header_.height = g->SHeight;
    }

    RowSource& start(int, int, bool grey) override {
        grey_ = grey;
        GifFileType* g = gif_.g;
        int transparent = -1;
        for (;;) {
            checkStop(stop_);
            GifRecordType type;
            if (DGifGetRecordType(g, &type) == GIF_ERROR)
                throw EFitError(gifMessage(g->Error));
            if (type == TERMINATE_RECORD_TYPE)
                throw EFitError("Cannot decode GIF picture: no image");
            if (type == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType* ext = nullptr;
                if (DGifGetExtension(g, &code, &ext) == GIF_ERROR)
                    throw EFitError(gifMessage(g->Error));
                if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4 && (ext[1] & 1))
                    transparent = ext[4];
                while (ext) {
                    if (DGifGetExtensionNext(g, &ext) == GIF_ERROR)
                        throw EFitError(gifMessage(g->Error));
                }
                continue;
            }
            if (type == IMAGE_DESC_RECORD_TYPE)
                break;
        }
        if (DGifGetImageDesc(g) == GIF_ERROR)
            throw EFitError(gifMessage(g->Error));
        readFrame(transparent);
        return *this;
    }

    int width() const override { return header_.width; }
    int height() const override { return header_.height; }
    int channels() const override { return grey_ ? 1 : 3; }

    void readRow(uint8_t* out) override {
        if (next_ >= header_.height)
            throw EFitError("Read past the last row of a page");
        const uint16_t* p = canvas_.data() + static_cast<size_t>(next_++) * header_.width;
        for (int x = 0; x < header_.width; ++x) {
            const uint32_t c = palette_[p[x]];
            const unsigned r = c >> 16, gr = (c >> 8) & 0xFF, b = c & 0xFF;
            if (grey_) {
                out[x] = greyOf(r, gr, b);
            } else {
                out[x * 3] = static_cast<uint8_t>(r);
                out[x * 3 + 1] = static_cast<uint8_t>(gr);
                out[x * 3 + 2] = static_cast<uint8_t>(b);
            }
        }
    }

private:
    // The frame's indices on the screen; index 256 of the palette is white,
    // for what the frame leaves uncovered or transparent.
    void readFrame(int transparent) {
        GifFileType* g = gif_.g;
        const GifImageDesc& d = g->Image;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : g->SColorMap;
        if (!map || !map->Colors || map->ColorCount <= 0)
            throw EFitError("Cannot decode GIF picture: no colour table");
        if (d.Width <= 0 || d.Height <= 0 ||
            uint64_t(d.Width) * uint64_t(d.Height) > kMaxPagePixels)
            throw EFitError("Cannot decode GIF picture: invalid frame");
        palette_.fill(0);  // indices past the table show black
        for (int i = 0; i < std::min(map->ColorCount, 256); ++i) {
            const GifColorType& c = map->Colors[i];
            palette_[i] = (uint32_t{c.Red} << 16) | (uint32_t{c.Green} << 8) | c.Blue;
        }
        palette_[256] = 0xFFFFFF;
        canvas_.assign(static_cast<size_t>(header_.width) * header_.height, kWhite);
        std::vector<GifPixelType> line(static_cast<size_t>(d.Width));
        // Interlaced frames come in four passes of rows.
        static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
        const int passes = d.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            const int first = d.Interlace ? kStart[pass] : 0, step = d.Interlace ? kStep[pass] : 1;
            for (int row = first; row < d.Height; row += step) {
                checkStop(stop_);
                if (DGifGetLine(g, line.data(), d.Width) == GIF_ERROR)
                    throw EFitError(gifMessage(g->Error));
                const long y = long{d.Top} + row;
                if (y < 0 || y >= header_.height)
                    continue;
                uint16_t* dst = canvas_.data() + static_cast<size_t>(y) * header_.width;
                for (int x = 0; x < d.Width; ++x) {
                    const long sx = long{d.Left} + x;
                    if (sx < 0 || sx >= header_.width || line[x] == transparent)
                        continue;
                    dst[sx] = line[x];
                }
            }
        }
    }

    struct Handle {
        GifFileType* g = nullptr;
        ~Handle() {
            if (g) {
                int code = 0;
                DGifCloseFile(g, &code);
            }
        }
    };

    static constexpr uint16_t kWhite = 256;
    StopFlag stop_;
    Handle gif_;
    std::array<uint32_t, 257> palette_{};
    std::vector<uint16_t> canvas_;
    bool grey_ = false;
    int next_ = 0;
};

}  // namespace

std::unique_ptr<PageReader> openGif(const std::string& path, StopFlag stop) {
    return std::make_unique<GifReader>(path, stop);
}

}  // namespace pagelume::fit::detail
