#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <string>

namespace pagelume::test {

// Writes a small 8-bit RGBA (colour type 6) or RGB (colour type 2) PNG whose
// pixels come from a function returning 0xAARRGGBB. Enough to feed the
// window's preview and buttons in tests.
inline std::string makePng(int width, int height, const std::function<uint32_t(int, int)>& pixel,
                           bool withAlpha = true) {
    auto be32 = [](std::string& s, uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            s += static_cast<char>((v >> shift) & 0xFF);
    };
    auto chunk = [&](std::string& out, const char* type, const std::string& data) {
        be32(out, static_cast<uint32_t>(data.size()));
        std::string body = std::string(type, 4) + data;
        out += body;
        be32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                              static_cast<uInt>(body.size()))));
    };
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // filter: none
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixel(x, y);
            raw += static_cast<char>((p >> 16) & 0xFF);
            raw += static_cast<char>((p >> 8) & 0xFF);
            raw += static_cast<char>(p & 0xFF);
            if (withAlpha)
                raw += static_cast<char>(p >> 24);
        }
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size,
             reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()));
    packed.resize(size);

    std::string ihdr;
    be32(ihdr, static_cast<uint32_t>(width));
    be32(ihdr, static_cast<uint32_t>(height));
    ihdr += std::string("\x08", 1);
    ihdr += withAlpha ? '\x06' : '\x02';
    ihdr += std::string(3, '\0');
    std::string png = "\x89PNG\r\n\x1a\n";
    chunk(png, "IHDR", ihdr);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", "");
    return png;
}

}  // namespace pagelume::test
