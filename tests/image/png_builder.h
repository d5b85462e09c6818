#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Builds PNG files chunk by chunk for tests, with correct CRCs unless told
// otherwise.
class PngBuilder {
public:
    PngBuilder() : bytes_("\x89PNG\r\n\x1a\n", 8) {}

    PngBuilder& chunk(const std::string& type, const std::string& data) {
        std::string body = type + data;
        put32(static_cast<uint32_t>(data.size()));
        bytes_ += body;
        put32(static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
        return *this;
    }

    PngBuilder& ihdr(uint32_t w, uint32_t h, int depth, int colorType, int interlace = 0) {
        std::string d;
        append32(d, w);
        append32(d, h);
        d += static_cast<char>(depth);
        d += static_cast<char>(colorType);
        d += std::string(2, '\0');
        d += static_cast<char>(interlace);
        return chunk("IHDR", d);
    }

    PngBuilder& idat(const std::string& compressed) { return chunk("IDAT", compressed); }
    PngBuilder& iend() { return chunk("IEND", ""); }
    const std::string& str() const { return bytes_; }

    static std::string deflate(const std::string& raw) {
        uLongf size = compressBound(static_cast<uLong>(raw.size()));
        std::string out(size, '\0');
        compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 9);
        out.resize(size);
        return out;
    }

    // Unfiltered rows (filter type 0) of a non-interlaced image: pixel(x, y)
    // returns the bytes of one pixel.
    static std::string rows(uint32_t w, uint32_t h,
                            const std::function<std::string(uint32_t, uint32_t)>& pixel) {
        std::string raw;
        for (uint32_t y = 0; y < h; ++y) {
            raw += '\0';
            for (uint32_t x = 0; x < w; ++x)
                raw += pixel(x, y);
        }
        return raw;
    }

    static std::string bytes(std::initializer_list<int> values) {
        std::string s;
        for (int v : values)
            s += static_cast<char>(v);
        return s;
    }

    static void append32(std::string& s, uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            s += static_cast<char>(v >> shift);
    }

private:
    void put32(uint32_t v) { append32(bytes_, v); }
    std::string bytes_;
};

// A complete single-IDAT image of `w` x `h` pixels.
inline std::string simplePng(uint32_t w, uint32_t h, int depth, int colorType,
                             const std::function<std::string(uint32_t, uint32_t)>& pixel,
                             const std::vector<std::pair<std::string, std::string>>& before = {}) {
    PngBuilder b;
    b.ihdr(w, h, depth, colorType);
    for (const auto& [type, data] : before)
        b.chunk(type, data);
    b.idat(PngBuilder::deflate(PngBuilder::rows(w, h, pixel))).iend();
    return b.str();
}
