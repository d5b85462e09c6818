#pragma once

#include <cstddef>
#include <string_view>

// UTF-8 decoding for the DOM's name checks and its writer.
namespace pagelume::xml {

inline constexpr char32_t kBadChar = 0xFFFFFFFF;

// Decodes the character at s[i] and moves i past it. A malformed or overlong
// sequence, a surrogate or a value above U+10FFFF gives kBadChar and moves on
// by one byte, so every byte of the input is looked at exactly once.
inline char32_t nextChar(std::string_view s, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    std::size_t length;
    char32_t c, min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2, c = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3, c = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4, c = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return kBadChar;
    }
    if (s.size() - i < length) {
        ++i;
        return kBadChar;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kBadChar;
        }
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return kBadChar;
    }
    i += length;
    return c;
}

// The characters an XML 1.0 document may contain at all.
inline bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

}  // namespace pagelume::xml
