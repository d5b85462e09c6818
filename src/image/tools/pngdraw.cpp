// pngdraw IN.png OUT.ppm [WIDTH HEIGHT]
//
// Loads IN with TPNGObject, draws it into a white surface of its own size (or
// WIDTH x HEIGHT, stretched) and writes the result as a binary PPM. On failure
// prints the exception's class and message on stderr and exits with 1.
#include <cstdio>
#include <cstdlib>
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

void writePpm(const DrawSurface& surface, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    if (!out)
        throw pagelume::EInOutError("Cannot create file \"" + path + "\".");
    out << "P6\n" << surface.width() << ' ' << surface.height() << "\n255\n";
    std::string row(static_cast<size_t>(surface.width()) * 3, '\0');
    for (int y = 0; y < surface.height(); ++y) {
        const uint32_t* p = surface.scanLine(y);
        for (int x = 0; x < surface.width(); ++x) {
            row[3 * x] = static_cast<char>(p[x] >> 16);
            row[3 * x + 1] = static_cast<char>(p[x] >> 8);
            row[3 * x + 2] = static_cast<char>(p[x]);
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
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
        DrawSurface surface(width, height, 0xFFFFFFFFu);
        png.Draw(surface, Rect{0, 0, width, height});
        writePpm(surface, argv[2]);
    } catch (const pagelume::Exception& e) {
        std::cerr << e.className() << ": " << e.what() << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "Exception: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
