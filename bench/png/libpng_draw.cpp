// libpng_draw IN.png OUT.ppm
//
// The yardstick for pngdraw: decodes IN with libpng, composites it over white
// with the same rounding as TPNGObject's drawing, (s*a + (255-a)*d + 255) >> 8,
// and writes a binary PPM. Written as a small libpng program would be: the
// file read through stdio, rows decoded and written one by one.
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int fail(const char* what) {
    std::fprintf(stderr, "libpng_draw: %s\n", what);
    return 1;
}

// Over white: d = 255.
void compositeOverWhite(const png_byte* rgba, png_byte* rgb, png_uint_32 width) {
    for (png_uint_32 x = 0; x < width; ++x, rgba += 4, rgb += 3) {
        const unsigned a = rgba[3], rest = (255 - a) * 255 + 255;
        rgb[0] = static_cast<png_byte>((rgba[0] * a + rest) >> 8);
        rgb[1] = static_cast<png_byte>((rgba[1] * a + rest) >> 8);
        rgb[2] = static_cast<png_byte>((rgba[2] * a + rest) >> 8);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool wholeImage = argc == 4 && std::string(argv[1]) == "--whole";
    if (wholeImage)
        ++argv, --argc;
    if (argc != 3)
        return fail("usage: libpng_draw [--whole] IN.png OUT.ppm");
    std::FILE* in = std::fopen(argv[1], "rb");
    if (!in)
        return fail("cannot open the input");
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out)
        return fail("cannot create the output");

    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_byte> image, rgb;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return fail("libpng failed");
    }
    png_init_io(png, in);
    png_read_info(png, info);
    // Everything becomes 8-bit RGB, with alpha when the file has any.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int channels = png_get_channels(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);

    std::fprintf(out, "P6\n%u %u\n255\n", static_cast<unsigned>(width),
                 static_cast<unsigned>(height));
    rgb.resize(size_t{width} * 3);
    auto writeRow = [&](const png_byte* row) {
        if (channels == 4) {
            compositeOverWhite(row, rgb.data(), width);
            row = rgb.data();
        }
        std::fwrite(row, 1, rgb.size(), out);
    };
    if (passes > 1 || wholeImage) {
        image.resize(rowBytes * height);
        for (png_uint_32 y = 0; y < height; ++y)
            rows.push_back(image.data() + y * rowBytes);
        png_read_image(png, rows.data());
        for (png_uint_32 y = 0; y < height; ++y)
            writeRow(rows[y]);
    } else {
        image.resize(rowBytes);
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, image.data(), nullptr);
            writeRow(image.data());
        }
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(in);
    if (std::fclose(out) != 0)
        return fail("cannot write the output");
    return 0;
}
