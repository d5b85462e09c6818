#include "image/page_preview.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <jpeglib.h>

#include "image/pngimage.h"

namespace pagelume::image {

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;

// Averages full-size rows of 0xAARRGGBB pixels into a smaller picture: every
// output pixel is the mean of the source pixels it covers (area averaging),
// alpha flattened over white. Needs one output row of sums, whatever the page.
class RowReducer {
public:
    RowReducer(int width, int height, Size out)
        : w_(width), h_(height), out_(out.width, out.height, kWhite),
          column_(static_cast<std::size_t>(width)),
          sums_(static_cast<std::size_t>(out.width) * 3),
          counts_(static_cast<std::size_t>(out.width)),
          runEnd_(static_cast<std::size_t>(out.width)) {
        for (int x = 0; x < w_; ++x) {
            const int o = static_cast<int>(static_cast<int64_t>(x) * out.width / w_);
            column_[static_cast<std::size_t>(x)] = o;
            runEnd_[static_cast<std::size_t>(o)] = x + 1;
        }
    }

    // Row y of the page (rows arrive in order, top to bottom).
    void addRow(int y, const uint32_t* argb) {
        const int oy = static_cast<int>(static_cast<int64_t>(y) * out_.height() / h_);
        if (oy != row_)
            flush();
        row_ = oy;
        // Columns go to output pixels in runs: a run's sums stay in registers
        // and are added once (most pages are opaque: nothing to flatten).
        int x = 0;
        while (x < w_) {
            const int start = x;
            const std::size_t o = static_cast<std::size_t>(column_[static_cast<std::size_t>(x)]);
            const int end = runEnd_[o];
            uint32_t r = 0, g = 0, b = 0;
            for (; x < end; ++x) {
                const uint32_t p = argb[x];
                const uint32_t a = p >> 24;
                if (a == 255) {
                    r += (p >> 16) & 0xFF;
                    g += (p >> 8) & 0xFF;
                    b += p & 0xFF;
                } else {
                    const auto over = [a](uint32_t c) { return (c * a + 255 * (255 - a) + 127) / 255; };
                    r += over((p >> 16) & 0xFF);
                    g += over((p >> 8) & 0xFF);
                    b += over(p & 0xFF);
                }
            }
            sums_[o * 3] += r;
            sums_[o * 3 + 1] += g;
            sums_[o * 3 + 2] += b;
            counts_[o] += static_cast<uint64_t>(end - start);
        }
    }

    DrawSurface finish() {
        flush();
        return std::move(out_);
    }

private:
    void flush() {
        if (row_ < 0)
            return;
        uint32_t* line = out_.scanLine(row_);
        for (int x = 0; x < out_.width(); ++x) {
            const uint64_t n = counts_[static_cast<std::size_t>(x)];
            if (n == 0)
                continue;
            const auto avg = [&](int c) {
                return static_cast<uint32_t>((sums_[static_cast<std::size_t>(x) * 3 + c] + n / 2) / n);
            };
            line[x] = 0xFF000000u | avg(0) << 16 | avg(1) << 8 | avg(2);
        }
        std::fill(sums_.begin(), sums_.end(), 0);
        std::fill(counts_.begin(), counts_.end(), 0);
        row_ = -1;
    }

    int w_, h_;
    DrawSurface out_;
    std::vector<int> column_;
    std::vector<uint64_t> sums_;
    std::vector<uint64_t> counts_;
    std::vector<int> runEnd_;  // per output column: one past its last source column
    int row_ = -1;
};

// ---- JPEG --------------------------------------------------------------

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegExit(j_common_ptr info) {
    auto* err = reinterpret_cast<JpegError*>(info->err);
    info->err->format_message(info, err->message);
    std::longjmp(err->jump, 1);
}

void jpegSilence(j_common_ptr, int) {}

// Kept out of the function that calls setjmp, so that nothing with a
// destructor lives across the jump.
struct JpegState {
    jpeg_decompress_struct info{};
    JpegError err{};
    bool created = false;
    ~JpegState() {
        if (created)
            jpeg_destroy_decompress(&info);
    }
};

DrawSurface decodeJpeg(const std::string& bytes, int boxW, int boxH) {
    JpegState s;
    s.info.err = jpeg_std_error(&s.err.mgr);
    s.err.mgr.error_exit = jpegExit;
    s.err.mgr.emit_message = jpegSilence;
    std::vector<uint32_t> argb;
    std::vector<unsigned char> line;
    RowReducer* reducer = nullptr;
    std::vector<RowReducer> holder;
    holder.reserve(1);
    if (setjmp(s.err.jump))
        throw EPageImageDamaged(std::string("not a readable JPEG image: ") + s.err.message);
    jpeg_create_decompress(&s.info);
    s.created = true;
    jpeg_mem_src(&s.info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&s.info, TRUE);
    const Size fit = fitInside(static_cast<int>(s.info.image_width),
                               static_cast<int>(s.info.image_height), boxW, boxH);
    // The smallest of libjpeg's scales that still gives at least the size
    // shown: most of the page is never decoded at full size.
    s.info.scale_num = 1;
    s.info.scale_denom = 1;
    for (unsigned denom : {8u, 4u, 2u}) {
        if (s.info.image_width / denom >= static_cast<unsigned>(fit.width) &&
            s.info.image_height / denom >= static_cast<unsigned>(fit.height)) {
            s.info.scale_denom = denom;
            break;
        }
    }
    s.info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&s.info);
    const int w = static_cast<int>(s.info.output_width), h = static_cast<int>(s.info.output_height);
    holder.emplace_back(w, h, fitInside(w, h, fit.width, fit.height));
    reducer = &holder.back();
    line.resize(static_cast<std::size_t>(w) * 3);
    argb.resize(static_cast<std::size_t>(w));
    while (s.info.output_scanline < s.info.output_height) {
        const int y = static_cast<int>(s.info.output_scanline);
        unsigned char* row = line.data();
        jpeg_read_scanlines(&s.info, &row, 1);
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = &line[static_cast<std::size_t>(x) * 3];
            argb[static_cast<std::size_t>(x)] = 0xFF000000u | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
        }
        reducer->addRow(y, argb.data());
    }
    jpeg_finish_decompress(&s.info);
    return reducer->finish();
}

// ---- GIF ---------------------------------------------------------------

struct GifInput {
    const std::string* bytes;
    std::size_t at = 0;
};

int gifRead(GifFileType* gif, GifByteType* out, int size) {
    auto* in = static_cast<GifInput*>(gif->UserData);
    const std::size_t n = std::min(static_cast<std::size_t>(std::max(size, 0)), in->bytes->size() - in->at);
    std::memcpy(out, in->bytes->data() + in->at, n);
    in->at += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// The first frame on the logical screen, the rest of the screen white (as a
// reader shows a page whose frame does not cover it).
DrawSurface decodeGif(const std::string& bytes, int boxW, int boxH) {
    GifInput input{&bytes};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, gifRead, &error));
    const auto damaged = [&](int code) {
        const char* text = GifErrorString(code);
        return EPageImageDamaged(std::string("not a readable GIF image: ") + (text ? text : "damaged"));
    };
    if (!gif)
        throw damaged(error);
    const int sw = gif->SWidth, sh = gif->SHeight;
    if (sw <= 0 || sh <= 0)
        throw damaged(D_GIF_ERR_WRONG_RECORD);
    int transparent = -1;
    GifRecordType record;
    do {
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR)
            throw damaged(gif->Error);
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif.get(), &code, &ext) == GIF_ERROR)
                throw damaged(gif->Error);
            while (ext) {
                GraphicsControlBlock gcb;
                if (code == GRAPHICS_EXT_FUNC_CODE &&
                    DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK)
                    transparent = gcb.TransparentColor;
                if (DGifGetExtensionNext(gif.get(), &ext) == GIF_ERROR)
                    throw damaged(gif->Error);
            }
        }
    } while (record != IMAGE_DESC_RECORD_TYPE && record != TERMINATE_RECORD_TYPE);
    if (record != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif.get()) == GIF_ERROR)
        throw damaged(gif->Error ? gif->Error : D_GIF_ERR_NO_IMAG_DSCR);
    const GifImageDesc& d = gif->Image;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    if (!map || d.Width <= 0 || d.Height <= 0)
        throw damaged(D_GIF_ERR_NO_COLOR_MAP);
    // The frame's rows, in the order the file holds them (interlaced or not),
    // kept as palette indices: one byte a pixel of the frame.
    std::vector<GifPixelType> frame(static_cast<std::size_t>(d.Width) * static_cast<std::size_t>(d.Height));
    std::vector<int> rowOf(static_cast<std::size_t>(d.Height));
    if (d.Interlace) {
        int k = 0;
        for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
            for (int y = start; y < d.Height; y += step)
                rowOf[static_cast<std::size_t>(k++)] = y;
    } else {
        for (int y = 0; y < d.Height; ++y)
            rowOf[static_cast<std::size_t>(y)] = y;
    }
    for (int k = 0; k < d.Height; ++k) {
        GifPixelType* row = frame.data() + static_cast<std::size_t>(rowOf[static_cast<std::size_t>(k)]) * d.Width;
        if (DGifGetLine(gif.get(), row, d.Width) == GIF_ERROR)
            throw damaged(gif->Error);
    }
    RowReducer reducer(sw, sh, fitInside(sw, sh, boxW, boxH));
    std::vector<uint32_t> line(static_cast<std::size_t>(sw));
    for (int y = 0; y < sh; ++y) {
        std::fill(line.begin(), line.end(), kWhite);
        const int fy = y - d.Top;
        if (fy >= 0 && fy < d.Height) {
            const GifPixelType* src = frame.data() + static_cast<std::size_t>(fy) * d.Width;
            for (int fx = 0; fx < d.Width; ++fx) {
                const int x = d.Left + fx;
                const int index = src[fx];
                if (x < 0 || x >= sw || index == transparent || index >= map->ColorCount)
                    continue;
                const GifColorType c = map->Colors[index];
                line[static_cast<std::size_t>(x)] = 0xFF000000u | uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue;
            }
        }
        reducer.addRow(y, line.data());
    }
    return reducer.finish();
}

// ---- PNG ---------------------------------------------------------------

// Rows stream from our decoder straight into the reduced picture: a
// 16000 x 16000 page costs a row of it, not a gigabyte.
DrawSurface decodePng(const std::string& bytes, int boxW, int boxH) {
    std::optional<RowReducer> reducer;
    DecodeRows(
        bytes.data(), bytes.size(),
        [&](int width, int height) { reducer.emplace(width, height, fitInside(width, height, boxW, boxH)); },
        [&](uint32_t y, const uint32_t* argb) { reducer->addRow(static_cast<int>(y), argb); });
    return reducer->finish();
}

}  // namespace

Size fitInside(int width, int height, int boxWidth, int boxHeight) {
    if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0)
        return {std::max(boxWidth, 1), std::max(boxHeight, 1)};
    if (width <= boxWidth && height <= boxHeight)
        return {width, height};
    // Compared as products: no rounding decides which side is the limit.
    if (int64_t{width} * boxHeight >= int64_t{height} * boxWidth) {
        const int h = static_cast<int>((int64_t{height} * boxWidth + width / 2) / width);
        return {boxWidth, std::clamp(h, 1, boxHeight)};
    }
    const int w = static_cast<int>((int64_t{width} * boxHeight + height / 2) / height);
    return {std::clamp(w, 1, boxWidth), boxHeight};
}

DrawSurface decodePage(const std::string& bytes, int boxWidth, int boxHeight) {
    const auto* head = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto starts = [&](std::initializer_list<unsigned char> magic) {
        return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), head);
    };
    if (starts({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}))
        return decodePng(bytes, boxWidth, boxHeight);
    if (starts({0xFF, 0xD8, 0xFF}))
        return decodeJpeg(bytes, boxWidth, boxHeight);
    if (starts({'G', 'I', 'F', '8', '7', 'a'}) || starts({'G', 'I', 'F', '8', '9', 'a'}))
        return decodeGif(bytes, boxWidth, boxHeight);
    throw ENotAPageImage("not a PNG, JPEG or GIF image");
}

DrawSurface previewPage(const std::string& bytes, int boxWidth, int boxHeight, uint32_t background) {
    const DrawSurface page = decodePage(bytes, boxWidth, boxHeight);
    DrawSurface pane(boxWidth, boxHeight, background);
    const int left = (boxWidth - page.width()) / 2, top = (boxHeight - page.height()) / 2;
    for (int y = 0; y < page.height() && top + y < boxHeight; ++y)
        std::copy_n(page.scanLine(y), std::min(page.width(), boxWidth - left), pane.scanLine(top + y) + left);
    return pane;
}

}  // namespace pagelume::image
