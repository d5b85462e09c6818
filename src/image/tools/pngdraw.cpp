// pngdraw IN.png OUT.ppm [WIDTH HEIGHT]
//
// Loads IN with TPNGObject, draws it into a white surface of its own size (or
// WIDTH x HEIGHT, stretched) and writes the result as a binary PPM. On failure
// prints the exception's class and message on stderr and exits with 1.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "image/pngimage.h"

using namespace pagelume::image;

namespace {

bool parseSize(const char* text, int& value) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 1 || v > 65535)
        return false;
    value = static_cast<int>(v);
    return true;
}

// Pixels 0xAARRGGBB to the PPM's red, green, blue bytes: byte-swapped, a
// pixel's value holds them in memory order below its top byte.
void toRgb(const uint32_t* pixels, size_t n, char* out) {
    auto rgb = [](uint32_t p) { return __builtin_bswap32(p) >> 8; };
    size_t i = 0;
    for (; i + 4 <= n; i += 4, out += 12) {
        const uint32_t a = rgb(pixels[i]), b = rgb(pixels[i + 1]), c = rgb(pixels[i + 2]),
                       d = rgb(pixels[i + 3]);
        // Word by word: one 12-byte copy would go through the stack.
        const uint32_t w0 = a | (b << 24), w1 = (b >> 8) | (c << 16), w2 = (c >> 16) | (d << 8);
        std::memcpy(out, &w0, 4);
        std::memcpy(out + 4, &w1, 4);
        std::memcpy(out + 8, &w2, 4);
    }
    for (; i < n; ++i, out += 3) {
        out[0] = static_cast<char>(pixels[i] >> 16);
        out[1] = static_cast<char>(pixels[i] >> 8);
        out[2] = static_cast<char>(pixels[i]);
    }
}

// Draws the picture band by band into a white surface of a few rows and
// writes each band out: the pixels are those of one whole-page surface (a
// band is the page's surface seen through a window of its rows), but the
// memory stays small and in cache.
void drawPpm(const TPNGObject& png, int width, int height, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    if (!out)
        throw pagelume::EInOutError("Cannot create file \"" + path + "\".");
    out << "P6\n" << width << ' ' << height << "\n255\n";
    // About 256 KiB of pixels per band, at least one row.
    const int bandRows = std::clamp((1 << 16) / width, 1, height);
    DrawSurface band(width, bandRows);
    std::string rgb(static_cast<size_t>(width) * bandRows * 3, '\0');
    for (int top = 0; top < height; top += bandRows) {
        const int rows = std::min(bandRows, height - top);
        band.fill(0xFFFFFFFFu);
        png.Draw(band, Rect{0, -top, width, height - top});
        const size_t pixels = static_cast<size_t>(width) * rows;
        toRgb(band.pixels().data(), pixels, rgb.data());
        out.write(rgb.data(), static_cast<std::streamsize>(pixels * 3));
    }
    if (!out.flush())
        throw pagelume::EInOutError("Cannot write file \"" + path + "\".");
}

}  // namespace

int main(int argc, char** argv) {
    int width = 0, height = 0;
    if ((argc != 3 && argc != 5) ||
        (argc == 5 && (!parseSize(argv[3], width) || !parseSize(argv[4], height)))) {
        std::cerr << "usage: pngdraw IN.png OUT.ppm [WIDTH HEIGHT]  (sizes 1 to 65535)\n";
        return 2;
    }
    try {
        TPNGObject png;
        png.LoadFromFile(argv[1]);
        if (argc == 3) {
            width = png.Width();
            height = png.Height();
        }
        drawPpm(png, width, height, argv[2]);
    } catch (const pagelume::Exception& e) {
        std::cerr << e.className() << ": " << e.what() << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "Exception: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
