#include "epub/book_identifier.h"

#include <cstdio>
#include <vector>

namespace pagelume::epub {

namespace {

std::uint32_t rotl(std::uint32_t v, int n) {
    return (v << n) | (v >> (32 - n));
}

// The namespace for URLs from RFC 4122, appendix C; the name below is an
// address-like string of ours.
constexpr std::array<std::uint8_t, 16> kUrlNamespace = {
    0x6b, 0xa7, 0xb8, 0x11, 0x9d, 0xad, 0x11, 0xd1, 0x80, 0xb4, 0x00, 0xc0, 0x4f, 0xd4, 0x30, 0xc8};

}  // namespace

std::array<std::uint8_t, 20> sha1(std::string_view bytes) {
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::vector<std::uint8_t> m(bytes.begin(), bytes.end());
    const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
    m.push_back(0x80);
    while (m.size() % 64 != 56)
        m.push_back(0);
    for (int i = 7; i >= 0; --i)
        m.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));

    for (std::size_t block = 0; block < m.size(); block += 64) {
        std::uint32_t w[80];
        for (int t = 0; t < 16; ++t) {
            const std::uint8_t* p = &m[block + 4 * static_cast<std::size_t>(t)];
            w[t] = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                   (std::uint32_t{p[2]} << 8) | p[3];
        }
        for (int t = 16; t < 80; ++t)
            w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int t = 0; t < 80; ++t) {
            std::uint32_t f, k;
            if (t < 20)
                f = (b & c) | (~b & d), k = 0x5A827999;
            else if (t < 40)
                f = b ^ c ^ d, k = 0x6ED9EBA1;
            else if (t < 60)
                f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
            else
                f = b ^ c ^ d, k = 0xCA62C1D6;
            const std::uint32_t next = rotl(a, 5) + f + e + k + w[t];
            e = d, d = c, c = rotl(b, 30), b = a, a = next;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    std::array<std::uint8_t, 20> out{};
    for (int i = 0; i < 20; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
    return out;
}

std::string nameBasedUuid(const std::array<std::uint8_t, 16>& nameSpace, std::string_view name) {
    std::string input(nameSpace.begin(), nameSpace.end());
    input.append(name);
    std::array<std::uint8_t, 20> hash = sha1(input);
    hash[6] = static_cast<std::uint8_t>((hash[6] & 0x0F) | 0x50);  // version 5
    hash[8] = static_cast<std::uint8_t>((hash[8] & 0x3F) | 0x80);  // the RFC 4122 variant
    std::string out;
    char hex[3];
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out += '-';
        std::snprintf(hex, sizeof hex, "%02x", hash[static_cast<std::size_t>(i)]);
        out += hex;
    }
    return out;
}

std::string bookIdentifier(const std::string& title, const std::string& author) {
    // A NUL cannot be typed into either field, so it keeps the two apart.
    return "urn:uuid:" +
           nameBasedUuid(kUrlNamespace, "pagelume:book:" + title + std::string(1, '\0') + author);
}

}  // namespace pagelume::epub
