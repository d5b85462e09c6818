#include "locale.h"

#include <cstdlib>

namespace pagelume::platform {

namespace {

// Only letters and digits survive: the tag is written into markup unescaped.
std::string cleanPart(const std::string& s) {
    std::string out;
    for (char c : s) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            out += c;
        if (out.size() >= 8)
            break;
    }
    return out;
}

}  // namespace

std::string languageTag() {
    std::string name;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            name = v;
            break;
        }
    }
    // Strip ".codeset" and "@modifier".
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX")
        return "en-US";
    auto sep = name.find('_');
    std::string lang = cleanPart(name.substr(0, sep));
    std::string country =
        sep == std::string::npos ? std::string() : cleanPart(name.substr(sep + 1));
    return lang + "-" + country;
}

}  // namespace pagelume::platform
