#pragma once

// JPEG and GIF files for tests, written by libjpeg and giflib.
#include <gif_lib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace pagelume::test {

// A baseline JPEG of w x h; colour(x, y) gives 0xRRGGBB.
inline std::string makeJpeg(int w, int h, const std::function<unsigned(int, int)>& colour,
                            int quality = 90) {
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(w);
    info.image_height = static_cast<JDIMENSION>(h);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(w) * 3);
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < w; ++x) {
            const unsigned c = colour(x, y);
            row[x * 3] = static_cast<unsigned char>(c >> 16);
            row[x * 3 + 1] = static_cast<unsigned char>(c >> 8);
            row[x * 3 + 2] = static_cast<unsigned char>(c);
        }
        unsigned char* p = row.data();
        jpeg_write_scanlines(&info, &p, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<char*>(out), size);
    std::free(out);
    return bytes;
}

// A GIF of w x h with one frame and the palette given (0xRRGGBB each);
// index(x, y) picks the colour. transparent: an index shown as see-through.
inline std::string makeGif(int w, int h, const std::vector<unsigned>& palette,
                           const std::function<int(int, int)>& index, int transparent = -1) {
    std::string bytes;
    auto write = [](GifFileType* g, const GifByteType* data, int n) {
        static_cast<std::string*>(g->UserData)->append(reinterpret_cast<const char*>(data),
                                                       static_cast<std::size_t>(n));
        return n;
    };
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, write, &error);
    int colours = 2;
    while (colours < static_cast<int>(palette.size()))
        colours *= 2;
    std::vector<GifColorType> c(static_cast<std::size_t>(colours));
    for (std::size_t i = 0; i < palette.size(); ++i)
        c[i] = {static_cast<GifByteType>(palette[i] >> 16), static_cast<GifByteType>(palette[i] >> 8),
                static_cast<GifByteType>(palette[i])};
    ColorMapObject* map = GifMakeMapObject(colours, c.data());
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, w, h, 8, 0, map);
    if (transparent >= 0) {
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = transparent;
        GifByteType ext[4];
        const std::size_t n = EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext);
    }
    EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
    std::vector<GifPixelType> line(static_cast<std::size_t>(w));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            line[static_cast<std::size_t>(x)] = static_cast<GifPixelType>(index(x, y));
        EGifPutLine(gif, line.data(), w);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return bytes;
}

}  // namespace pagelume::test
