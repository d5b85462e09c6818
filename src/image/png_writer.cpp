#include "image/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>

#include "platform/exception.h"

namespace pagelume::image {

namespace {

void put32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xFF);
}

void chunk(std::string& out, const char* type, const std::string& data) {
    put32(out, static_cast<uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out += data;
    uLong crc = crc32(0, nullptr, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(out.data() + start),
                static_cast<uInt>(out.size() - start));
    put32(out, static_cast<uint32_t>(crc));
}

uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// The filtered row with its filter byte first; the usual heuristic picks the
// filter whose output has the smallest sum of absolute values.
void filterRow(const std::vector<uint8_t>& row, const std::vector<uint8_t>& prior, int bpp,
               std::string& out) {
    const std::size_t n = row.size();
    std::vector<uint8_t> candidates[3];
    for (auto& c : candidates)
        c.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const int a = i >= static_cast<std::size_t>(bpp) ? row[i - static_cast<std::size_t>(bpp)] : 0;
        const int b = prior[i];
        const int c = i >= static_cast<std::size_t>(bpp) ? prior[i - static_cast<std::size_t>(bpp)] : 0;
        candidates[0][i] = row[i];
        candidates[1][i] = static_cast<uint8_t>(row[i] - a);
        candidates[2][i] = static_cast<uint8_t>(row[i] - paeth(a, b, c));
    }
    const uint8_t types[3] = {0, 1, 4};
    int best = 0;
    uint64_t bestCost = UINT64_MAX;
    for (int k = 0; k < 3; ++k) {
        uint64_t cost = 0;
        for (uint8_t v : candidates[k])
            cost += v < 128 ? v : 256 - v;
        if (cost < bestCost) {
            bestCost = cost;
            best = k;
        }
    }
    out += static_cast<char>(types[best]);
    out.append(reinterpret_cast<const char*>(candidates[best].data()), n);
}

std::string deflateAll(const std::string& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                  6) != Z_OK)
        throw Exception("Cannot compress the picture");
    packed.resize(size);
    return packed;
}

}  // namespace

std::string encodePng(const DrawSurface& picture, bool alpha, const std::vector<PngText>& texts) {
    if (picture.empty())
        throw Exception("Cannot write an empty picture");
    for (const PngText& t : texts) {
        if (t.keyword.empty() || t.keyword.size() > 79 ||
            t.keyword.find('\0') != std::string::npos || t.text.find('\0') != std::string::npos)
            throw Exception("Bad PNG text keyword or text");
    }
    std::string out("\x89PNG\r\n\x1A\n", 8);
    std::string header;
    put32(header, static_cast<uint32_t>(picture.width()));
    put32(header, static_cast<uint32_t>(picture.height()));
    header += static_cast<char>(8);               // bit depth
    header += static_cast<char>(alpha ? 6 : 2);   // colour type
    header.append(3, '\0');                       // deflate, adaptive filters, no interlace
    chunk(out, "IHDR", header);
    for (const PngText& t : texts)
        chunk(out, "tEXt", t.keyword + std::string(1, '\0') + t.text);

    const int bpp = alpha ? 4 : 3;
    const std::size_t rowBytes = static_cast<std::size_t>(picture.width()) * static_cast<std::size_t>(bpp);
    std::vector<uint8_t> row(rowBytes), prior(rowBytes, 0);
    std::string raw;
    raw.reserve((rowBytes + 1) * static_cast<std::size_t>(picture.height()));
    for (int y = 0; y < picture.height(); ++y) {
        const uint32_t* src = picture.scanLine(y);
        uint8_t* d = row.data();
        for (int x = 0; x < picture.width(); ++x) {
            const uint32_t p = src[x];
            *d++ = static_cast<uint8_t>(p >> 16);
            *d++ = static_cast<uint8_t>(p >> 8);
            *d++ = static_cast<uint8_t>(p);
            if (alpha)
                *d++ = static_cast<uint8_t>(p >> 24);
        }
        filterRow(row, prior, bpp, raw);
        std::swap(row, prior);
    }
    chunk(out, "IDAT", deflateAll(raw));
    chunk(out, "IEND", {});
    return out;
}

}  // namespace pagelume::image
