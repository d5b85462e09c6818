#include "epub/image_namer.h"

#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <system_error>

#include "epub/name_folding.h"
#include "platform/files.h"
#include "xml/utf8.h"

namespace pagelume::epub {

namespace {

// What makes two paths the same source: the file itself (device and inode)
// when it exists, otherwise the path made absolute and normal.
std::string sourceIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        std::string key = "f";
        key += std::to_string(st.st_dev);
        key += ':';
        key += std::to_string(st.st_ino);
        return key;
    }
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(std::filesystem::path(path), ec);
    std::string key = "p";
    key += ec ? path : absolute.lexically_normal().string();
    return key;
}

// "PAGE<n>.HTML" for 1 <= n <= pages, as the wrappers are named.
bool isWrapperName(const std::string& upper, int pages) {
    if (upper.size() < 10 || upper.rfind("PAGE", 0) != 0 ||
        upper.compare(upper.size() - 5, 5, ".HTML") != 0)
        return false;
    const std::string digits = upper.substr(4, upper.size() - 9);
    if (digits.empty() || digits.size() > 9 || digits[0] == '0' ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    return std::stoi(digits) <= pages;
}

}  // namespace

bool isNameLetterOrDigit(char32_t c) {
    if (c < 0x80)
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    struct Range {
        char32_t first, last;
    };
    // Not letters: C1 controls, Latin-1 punctuation and symbols, spaces and
    // general punctuation, symbol blocks, CJK punctuation, private use,
    // presentation forms' punctuation, specials, emoji and other pictographs,
    // tags, supplementary private use.
    static constexpr Range kNotLetters[] = {
        {0x80, 0xBF},       {0xD7, 0xD7},       {0xF7, 0xF7},       {0x2000, 0x2BFF},
        {0x2E00, 0x2E7F},   {0x3000, 0x3004},   {0x3008, 0x3020},   {0x3030, 0x3030},
        {0xD800, 0xF8FF},   {0xFD3E, 0xFD3F},   {0xFE10, 0xFE1F},   {0xFE30, 0xFE6F},
        {0xFEFF, 0xFEFF},   {0xFF00, 0xFF0F},   {0xFF1A, 0xFF20},   {0xFF3B, 0xFF40},
        {0xFF5B, 0xFF65},   {0xFFF0, 0xFFFF},   {0x1F000, 0x1FBFF}, {0xE0000, 0x10FFFF},
    };
    for (const Range& r : kNotLetters) {
        if (c >= r.first && c <= r.last)
            return false;
    }
    return (c & 0xFFFE) != 0xFFFE && c != 0x1680 && c != 0x180E;
}

std::string bookImageName(const std::string& fileName, bool strict) {
    std::string out;
    out.reserve(fileName.size());
    for (std::size_t i = 0; i < fileName.size();) {
        const std::size_t start = i;
        const char32_t c = xml::nextChar(fileName, i);
        const bool plain = c == '-' || c == '_' || c == '.' || isNameLetterOrDigit(c);
        if (c == xml::kBadChar || c < 0x20 || c == 0x7F || c == '\\' || (strict && !plain))
            out += '_';
        else
            out.append(fileName, start, i - start);
    }
    const auto visible = out.find_first_not_of('.');
    if (visible == std::string::npos)
        return out.empty() ? out : "image";
    return out.substr(visible);
}

std::string cutName(const std::string& name, std::size_t max) {
    if (name.size() <= max)
        return name;
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;  // name[end] continues a character: cut before it
    return name.substr(0, end);
}

std::string extensionFor(const std::string& mediaType) {
    if (mediaType == "image/png")
        return ".png";
    if (mediaType == "image/jpeg")
        return ".jpg";
    if (mediaType == "image/gif")
        return ".gif";
    return {};
}

namespace {

// A strict book's name: composed, and with the extension its content calls
// for. An extension that already fits (".jpeg", ".PNG") stays.
std::string strictName(const std::string& base, const std::string& mediaType) {
    std::string name = composedName(base);
    const std::string wanted = extensionFor(mediaType);
    if (wanted.empty())
        return name;
    const auto dot = name.find_last_of('.');
    const bool hasExt = dot != std::string::npos && dot != 0;
    const std::string ext = hasExt ? platform::asciiUpper(name.substr(dot)) : std::string();
    if (ext == platform::asciiUpper(wanted) || (wanted == ".jpg" && ext == ".JPEG"))
        return name;
    return (hasExt ? name.substr(0, dot) : name) + wanted;
}

}  // namespace

std::string ImageNamer::key(const std::string& name) const {
    return strict_ ? foldedName(name) : platform::asciiUpper(name);
}

bool ImageNamer::taken(const std::string& name) const {
    const std::string upper = platform::asciiUpper(name);
    return upper == "FB.OPF" || upper == "FB.NCX" || upper == "COVER.HTML" ||
           upper == "STYLESHEET.CSS" || isWrapperName(upper, pageCount_) ||
           given_.count(key(name)) > 0;
}

ImageName ImageNamer::nameFor(const std::string& sourcePath, const std::string& mediaType) {
    return nameFor(pages::Page{sourcePath, {}}, mediaType);
}

ImageName ImageNamer::nameFor(const pages::Page& page, const std::string& mediaType) {
    std::string identity = sourceIdentity(page.file);
    if (page.inArchive()) {
        identity += '\n';  // never part of a device and inode, nor of a normal path's end
        identity += page.member;
    }
    return nameForFile(identity, page.fileName(), mediaType);
}

ImageName ImageNamer::nameForFile(const std::string& identity, const std::string& fileName,
                                  const std::string& mediaType) {
    if (auto known = bySource_.find(identity); known != bySource_.end())
        return {known->second, false};

    std::string base = bookImageName(fileName, strict_);
    if (strict_)
        base = strictName(base, mediaType);
    const auto dot = base.find_last_of('.');
    const bool hasExt = dot != std::string::npos && dot != 0;
    std::string stem = hasExt ? base.substr(0, dot) : base;
    std::string ext = hasExt ? base.substr(dot) : std::string();
    if (ext.size() > NAME_MAX / 2) {
        stem = base;  // not an extension worth keeping whole
        ext.clear();
    }
    // Room for the longest suffix, so that every candidate fits.
    const auto fitted = [&](const std::string& suffix) {
        return cutName(stem, NAME_MAX - suffix.size() - ext.size()) + suffix + ext;
    };
    std::string name = fitted("");
    if (taken(name)) {
        // Every suffix below the counter is taken already, and names are
        // never given back, so the search goes on where it last stopped.
        int& k = nextSuffix_.try_emplace(key(stem + '/' + ext), 2).first->second;
        do {
            std::string suffix = "-";  // appended, not concatenated: gcc 12 warns on the latter
            suffix += std::to_string(k++);
            name = fitted(suffix);
        } while (taken(name));
    }
    given_.insert(key(name));
    bySource_.emplace(identity, name);
    return {name, true};
}

}  // namespace pagelume::epub
