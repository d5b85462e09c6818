#include "fit/pictures.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <gif_lib.h>
#include <jpeglib.h>

namespace pagelume::test {

namespace {

struct Error {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void errorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<Error*>(cinfo->err)->jump, 1);
}

}  // namespace

std::string makeJpeg(int width, int height, const std::function<uint32_t(int, int)>& pixel,
                     const std::string& app1) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixel(x, y);
            uint8_t* o = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
            o[0] = p >> 16, o[1] = (p >> 8) & 0xFF, o[2] = p & 0xFF;
        }
    jpeg_compress_struct c{};
    Error err{};
    c.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = errorExit;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&c);
        std::free(buffer);
        throw std::runtime_error("libjpeg could not write the test picture");
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    for (int i = 0; i < 3; ++i)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    if (!app1.empty())
        jpeg_write_marker(&c, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(app1.data()),
                          static_cast<unsigned>(app1.size()));
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = rgb.data() + static_cast<size_t>(c.next_scanline) * width * 3;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::string out(reinterpret_cast<char*>(buffer), size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return out;
}

std::string exifApp1(int orientation, bool bigEndian) {
    std::string s("Exif\0\0", 6);
    auto u16 = [&](unsigned v) {
        if (bigEndian)
            s += static_cast<char>(v >> 8), s += static_cast<char>(v & 0xFF);
        else
            s += static_cast<char>(v & 0xFF), s += static_cast<char>(v >> 8);
    };
    auto u32 = [&](uint32_t v) {
        if (bigEndian)
            u16(v >> 16), u16(v & 0xFFFF);
        else
            u16(v & 0xFFFF), u16(v >> 16);
    };
    s += bigEndian ? "MM" : "II";
    u16(42);
    u32(8);  // the first directory follows the header
    u16(2);  // two entries: a resolution unit, then the orientation
    u16(0x0128), u16(3), u32(1), u16(2), u16(0);
    u16(0x0112), u16(3), u32(1), u16(static_cast<unsigned>(orientation)), u16(0);
    u32(0);
    return s;
}

namespace {

int appendGif(GifFileType* g, const GifByteType* data, int size) {
    static_cast<std::string*>(g->UserData)->append(reinterpret_cast<const char*>(data), size);
    return size;
}

}  // namespace

std::string makeGif(int width, int height, const std::vector<uint8_t>& indices,
                    const uint32_t (&palette)[4], int transparent) {
    std::string bytes;
    int code = 0;
    GifFileType* g = EGifOpen(&bytes, appendGif, &code);
    if (!g)
        throw std::runtime_error("giflib could not start the test picture");
    GifColorType colours[4];
    for (int i = 0; i < 4; ++i)
        colours[i] = {static_cast<GifByteType>(palette[i] >> 16),
                      static_cast<GifByteType>((palette[i] >> 8) & 0xFF),
                      static_cast<GifByteType>(palette[i] & 0xFF)};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(g, true);
    EGifPutScreenDesc(g, width, height, 2, 0, map);
    if (transparent >= 0) {
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = transparent;
        gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
        GifByteType ext[4];
        const size_t n = EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext);
    }
    EGifPutImageDesc(g, 0, 0, width, height, false, nullptr);
    std::vector<GifPixelType> line(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            line[x] = indices[static_cast<size_t>(y) * width + x];
        EGifPutLine(g, line.data(), width);
    }
    EGifCloseFile(g, &code);
    GifFreeMapObject(map);
    return bytes;
}

fit::Pixmap decodeJpeg(const std::string& bytes) {
    jpeg_decompress_struct d{};
    Error err{};
    d.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = errorExit;
    fit::Pixmap out;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&d);
        throw std::runtime_error("libjpeg could not read the fitted picture");
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    out = fit::Pixmap(static_cast<int>(d.output_width), static_cast<int>(d.output_height),
                      d.output_components);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = out.row(static_cast<int>(d.output_scanline));
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return out;
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace pagelume::test
