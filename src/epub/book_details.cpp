#include "epub/book_details.h"

#include <cctype>
#include <vector>

#include "platform/locale.h"

namespace pagelume::epub {

namespace {

std::vector<std::string> subtags(const std::string& tag) {
    std::vector<std::string> parts(1);
    for (char c : tag) {
        if (c == '-')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

bool all(const std::string& s, int (*test)(int)) {
    for (unsigned char c : s)
        if (!test(c))
            return false;
    return true;
}

bool alpha(const std::string& s, size_t lo, size_t hi) {
    return s.size() >= lo && s.size() <= hi && all(s, isalpha);
}
bool alnum(const std::string& s, size_t lo, size_t hi) {
    return s.size() >= lo && s.size() <= hi && all(s, isalnum);
}

// "x-" followed by one or more subtags of 1 to 8 letters or digits.
bool privateUse(const std::vector<std::string>& p, size_t i) {
    if (i + 1 >= p.size())
        return false;
    for (++i; i < p.size(); ++i)
        if (!alnum(p[i], 1, 8))
            return false;
    return true;
}

}  // namespace

// The "langtag" and "privateuse" forms of the tag grammar; the irregular
// grandfathered tags are not offered to anyone today and are refused.
bool isLanguageTag(const std::string& tag) {
    if (tag.empty() || tag.size() > 128)
        return false;
    for (unsigned char c : tag)
        if (c >= 0x80)
            return false;
    const std::vector<std::string> p = subtags(tag);
    auto is = [](const std::string& s, char c) { return s.size() == 1 && std::tolower(s[0]) == c; };
    if (is(p[0], 'x'))
        return privateUse(p, 0);
    if (!alpha(p[0], 2, 8) || p[0].size() == 4)
        return false;
    size_t i = 1;
    // Up to three extended language subtags after a two- or three-letter one.
    if (p[0].size() <= 3)
        for (int n = 0; n < 3 && i < p.size() && alpha(p[i], 3, 3); ++n)
            ++i;
    if (i < p.size() && alpha(p[i], 4, 4))  // script
        ++i;
    if (i < p.size() && (alpha(p[i], 2, 2) || (p[i].size() == 3 && all(p[i], isdigit))))  // region
        ++i;
    // Variants: 5 to 8 letters or digits, or a digit and three more.
    while (i < p.size() &&
           (alnum(p[i], 5, 8) ||
            (p[i].size() == 4 && std::isdigit((unsigned char)p[i][0]) && alnum(p[i], 4, 4))))
        ++i;
    // Extensions: a singleton other than x, then subtags of 2 to 8.
    while (i < p.size() && p[i].size() == 1 && std::isalnum((unsigned char)p[i][0]) &&
           !is(p[i], 'x')) {
        size_t j = i + 1;
        while (j < p.size() && alnum(p[j], 2, 8))
            ++j;
        if (j == i + 1)
            return false;
        i = j;
    }
    if (i < p.size() && is(p[i], 'x'))
        return privateUse(p, i);
    return i == p.size();
}

bool isSeriesIndex(const std::string& text) {
    const size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    const std::string part = dot == std::string::npos ? "1" : text.substr(dot + 1);
    return !whole.empty() && whole.size() <= 9 && all(whole, isdigit) && !part.empty() &&
           part.size() <= 9 && all(part, isdigit);
}

std::string bookLanguage(const BookDetails& details) {
    return details.language.empty() ? platform::languageTag() : details.language;
}

}  // namespace pagelume::epub
