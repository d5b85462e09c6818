#include "zip/wildcard.h"

#include "platform/files.h"

namespace pagelume::zip {

namespace {

// One character of UTF-8 text is one lead byte and its continuation bytes.
std::size_t skipCharacter(const std::string& s, std::size_t i) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
        ++i;
    return i;
}

}  // namespace

bool matchesMask(const std::string& rawName, const std::string& rawMask) {
    const std::string name = platform::asciiUpper(rawName);
    const std::string mask = platform::asciiUpper(rawMask);
    // Greedy match that backtracks only to the last '*': linear in practice
    // and never exponential, whatever the mask.
    std::size_t n = 0, m = 0;
    std::size_t starMask = std::string::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && mask[m] == '?') {
            n = skipCharacter(name, n);
            ++m;
        } else if (m < mask.size() && mask[m] == name[n]) {
            ++n;
            ++m;
        } else if (starMask != std::string::npos) {
            m = starMask + 1;
            n = starName = skipCharacter(name, starName);
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

bool matchesAny(const std::string& path, const std::vector<std::string>& patterns) {
    for (const auto& p : patterns) {
        const bool whole = p.find('/') != std::string::npos;
        if (matchesMask(whole ? path : platform::fileNamePart(path), p))
            return true;
    }
    return false;
}

bool isPattern(const std::string& item) {
    return item.find_first_of("*?<>|") != std::string::npos;
}

}  // namespace pagelume::zip
