#include "pages/comic_info.h"

#include <cstdint>

namespace pagelume::pages {

namespace {

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string decodeText(const std::string& raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '&') {
            out += raw[i];
            continue;
        }
        const std::size_t end = raw.find(';', i);
        if (end == std::string::npos || end - i > 10)
            return {};  // not well-formed: better no value than a wrong one
        const std::string name = raw.substr(i + 1, end - i - 1);
        if (name == "amp") out += '&';
        else if (name == "lt") out += '<';
        else if (name == "gt") out += '>';
        else if (name == "quot") out += '"';
        else if (name == "apos") out += '\'';
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x';
            std::uint32_t c = 0;
            for (std::size_t k = hex ? 2 : 1; k < name.size(); ++k) {
                const char d = name[k];
                const int v = d >= '0' && d <= '9'   ? d - '0'
                              : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                              : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10
                                                             : -1;
                if (v < 0 || c > 0x10FFFF)
                    return {};
                c = c * (hex ? 16 : 10) + static_cast<std::uint32_t>(v);
            }
            if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
                return {};
            appendUtf8(out, c);
        } else {
            return {};
        }
        i = end;
    }
    return out;
}

// The text of the first <tag>...</tag> (no attributes, no nesting), trimmed.
std::string field(const std::string& xml, const std::string& tag) {
    const std::string open = "<" + tag + ">", close = "</" + tag + ">";
    const std::size_t start = xml.find(open);
    if (start == std::string::npos)
        return {};
    const std::size_t from = start + open.size();
    const std::size_t end = xml.find(close, from);
    if (end == std::string::npos)
        return {};
    std::string text = xml.substr(from, end - from);
    if (text.find('<') != std::string::npos)
        return {};
    text = decodeText(text);
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    text = text.substr(first, last - first + 1);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';  // one line: it becomes a title or a name
    return text;
}

}  // namespace

ComicInfo parseComicInfo(const std::string& xml) {
    ComicInfo info;
    info.title = field(xml, "Title");
    if (info.title.empty()) {
        const std::string series = field(xml, "Series"), number = field(xml, "Number");
        info.title = number.empty() ? series : series.empty() ? std::string() : series + " " + number;
    }
    info.writer = field(xml, "Writer");
    return info;
}

}  // namespace pagelume::pages
