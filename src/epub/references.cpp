#include "epub/references.h"

namespace pagelume::epub {

std::string imageReference(const std::string& name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size() + 2);
    // "ch1:p1.png" would read as a reference with the scheme "ch1".
    if (name.find(':') != std::string::npos)
        out = "./";
    for (const char c : name) {
        switch (c) {
            case '"':
            case '#':
            case '%':
            case '&':
            case '<':
            case '>':
            case '?':
                out += '%';
                out += kHex[static_cast<unsigned char>(c) >> 4];
                out += kHex[static_cast<unsigned char>(c) & 0xF];
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace pagelume::epub
