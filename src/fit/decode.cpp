#include "fit/decode.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pagelume::fit {

PageFormat sniffFormat(const uint8_t* head, size_t size) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 8 && std::memcmp(head, kPng, 8) == 0)
        return PageFormat::Png;
    if (size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return PageFormat::Jpeg;
    if (size >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0))
        return PageFormat::Gif;
    return PageFormat::Unknown;
}

int jpegReduction(int width, int height, int minWidth, int minHeight) {
    int d = 1;
    // libjpeg rounds reduced sizes up, as (size + d - 1) / d.
    while (d < 8 && (width + 2 * d - 1) / (2 * d) >= minWidth &&
           (height + 2 * d - 1) / (2 * d) >= minHeight)
        d *= 2;
    return d;
}

std::unique_ptr<PageReader> openPage(const std::string& path, StopFlag stop) {
    uint8_t head[8] = {};
    size_t got = 0;
    {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            throw EInOutError("Cannot open file \"" + path + "\". " + std::strerror(errno));
        got = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
    }
    switch (sniffFormat(head, got)) {
        case PageFormat::Jpeg:
            return detail::openJpeg(path, stop);
        case PageFormat::Png:
            return detail::openPng(path, stop);
        case PageFormat::Gif:
            return detail::openGif(path, stop);
        default:
            throw EFitError("Not a PNG, JPEG or GIF picture");
    }
}

}  // namespace pagelume::fit
