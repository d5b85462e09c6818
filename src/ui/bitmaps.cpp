#include "ui/bitmaps.h"

#include <climits>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "platform/exception.h"

namespace pagelume::ui {

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Skin pictures are small; anything larger is not one of ours.
constexpr long kMaxSkinPixels = 16L << 20;

}  // namespace

image::DrawSurface decodeJpeg(const unsigned char* data, std::size_t size) {
    jpeg_decompress_struct cinfo{};
    JpegError err{};
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegErrorExit;
    // Everything that must survive a longjmp lives outside this frame's
    // automatic variables that change after setjmp.
    auto surface = std::make_unique<image::DrawSurface>();
    std::vector<unsigned char> row;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        throw Exception(std::string("Cannot decode JPEG picture: ") + err.message);
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const long w = cinfo.output_width, h = cinfo.output_height;
    if (cinfo.output_components != 3 || w * h > kMaxSkinPixels) {
        jpeg_destroy_decompress(&cinfo);
        throw Exception("Cannot decode JPEG picture: unsupported size or colours");
    }
    *surface = image::DrawSurface(static_cast<int>(w), static_cast<int>(h), 0xFF000000u);
    row.resize(static_cast<std::size_t>(w) * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {row.data()};
        const int y = static_cast<int>(cinfo.output_scanline);
        jpeg_read_scanlines(&cinfo, rows, 1);
        uint32_t* out = surface->scanLine(y);
        for (long x = 0; x < w; ++x)
            out[x] = 0xFF000000u | (uint32_t(row[x * 3]) << 16) | (uint32_t(row[x * 3 + 1]) << 8) |
                     row[x * 3 + 2];
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return std::move(*surface);
}

image::DrawSurface decodeBmp(const unsigned char* data, std::size_t size) {
    auto u16 = [&](std::size_t o) { return static_cast<uint32_t>(data[o] | (data[o + 1] << 8)); };
    auto u32 = [&](std::size_t o) { return u16(o) | (u16(o + 2) << 16); };
    if (size < 54 || data[0] != 'B' || data[1] != 'M')
        throw Exception("Not a bitmap");
    const uint32_t offset = u32(10), headerSize = u32(14);
    const int32_t width = static_cast<int32_t>(u32(18));
    const int32_t rawHeight = static_cast<int32_t>(u32(22));
    const uint32_t bits = u16(28), compression = u32(30);
    if (headerSize < 40 || (bits != 24 && bits != 32) || (compression != 0 && compression != 3) ||
        width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN)
        throw Exception("Unsupported bitmap");
    const bool bottomUp = rawHeight > 0;
    const long height = bottomUp ? rawHeight : -static_cast<long>(rawHeight);
    if (static_cast<long>(width) * height > kMaxSkinPixels)
        throw Exception("Unsupported bitmap");
    const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
    if (offset > size || stride * static_cast<std::size_t>(height) > size - offset)
        throw Exception("Truncated bitmap");
    image::DrawSurface out(width, static_cast<int>(height), 0xFF000000u);
    const std::size_t bpp = bits / 8;
    for (long y = 0; y < height; ++y) {
        const unsigned char* in =
            data + offset + stride * static_cast<std::size_t>(bottomUp ? height - 1 - y : y);
        uint32_t* line = out.scanLine(static_cast<int>(y));
        for (int32_t x = 0; x < width; ++x) {
            const unsigned char* p = in + static_cast<std::size_t>(x) * bpp;
            line[x] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
        }
    }
    return out;
}

}  // namespace pagelume::ui
