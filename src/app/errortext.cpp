#include "app/errortext.h"

namespace pagelume::app {

namespace {

// The code point of the last UTF-8 character; a malformed tail counts as
// its last byte.
unsigned lastCodePoint(const std::string& s) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    std::size_t start = s.size() - 1;
    while (start > 0 && s.size() - start < 4 && (byte(start) & 0xC0) == 0x80)
        --start;
    const unsigned lead = byte(start);
    const std::size_t expected = lead < 0x80             ? 1
                                 : (lead & 0xE0) == 0xC0 ? 2
                                 : (lead & 0xF0) == 0xE0 ? 3
                                 : (lead & 0xF8) == 0xF0 ? 4
                                                         : 0;
    if (expected != s.size() - start)
        return byte(s.size() - 1);
    unsigned cp = expected == 1 ? lead : lead & (0x7Fu >> expected);
    for (std::size_t k = start + 1; k < s.size(); ++k)
        cp = (cp << 6) | (byte(k) & 0x3F);
    return cp;
}

}  // namespace

std::string defaultErrorText(const std::string& message) {
    if (!message.empty() && lastCodePoint(message) > '.')
        return message + ".";
    return message;
}

}  // namespace pagelume::app

namespace pagelume::app {

std::string terminalText(const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    const auto escape = [&](unsigned char c) {
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c < 0x20 || c == 0x7F) {
            escape(c);
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            escape(next);  // a C1 control, U+0080 to U+009F
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace pagelume::app
