#include "epub/image_namer.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "platform/files.h"
#include "xml/utf8.h"

namespace pagelume::epub {

namespace {

// What makes two paths the same source: the file itself (device and inode)
// when it exists, otherwise the path made absolute and normal.
std::string sourceIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return "f" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(std::filesystem::path(path), ec);
    return "p" + (ec ? path : absolute.lexically_normal().string());
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

std::string bookImageName(const std::string& fileName) {
    std::string out;
    out.reserve(fileName.size());
    for (std::size_t i = 0; i < fileName.size();) {
        const std::size_t start = i;
        const char32_t c = xml::nextChar(fileName, i);
        if (c == xml::kBadChar || c < 0x20 || c == 0x7F || c == '\\')
            out += '_';
        else
            out.append(fileName, start, i - start);
    }
    const auto visible = out.find_first_not_of('.');
    if (visible == std::string::npos)
        return out.empty() ? out : "image";
    return out.substr(visible);
}

bool ImageNamer::taken(const std::string& upperName) const {
    return upperName == "FB.OPF" || upperName == "FB.NCX" || upperName == "COVER.HTML" ||
           isWrapperName(upperName, pageCount_) || given_.count(upperName) > 0;
}

ImageName ImageNamer::nameFor(const std::string& sourcePath) {
    const std::string identity = sourceIdentity(sourcePath);
    if (auto known = bySource_.find(identity); known != bySource_.end())
        return {known->second, false};

    const std::string base = bookImageName(platform::fileNamePart(sourcePath));
    std::string name = base;
    std::string upper = platform::asciiUpper(name);
    if (taken(upper)) {
        const auto dot = base.find_last_of('.');
        const bool hasExt = dot != std::string::npos && dot != 0;
        const std::string stem = hasExt ? base.substr(0, dot) : base;
        const std::string ext = hasExt ? base.substr(dot) : std::string();
        // Every suffix below the counter is taken already, and names are
        // never given back, so the search goes on where it last stopped.
        int& k = nextSuffix_.try_emplace(platform::asciiUpper(stem + '/' + ext), 2).first->second;
        do {
            name = stem + "-" + std::to_string(k++) + ext;
            upper = platform::asciiUpper(name);
        } while (taken(upper));
    }
    given_.insert(upper);
    bySource_.emplace(identity, name);
    return {name, true};
}

}  // namespace pagelume::epub
