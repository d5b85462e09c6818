#include "epub/page_wrapper.h"

#include <cstdio>
#include <fstream>

#include "epub/references.h"
#include "platform/locale.h"

namespace pagelume::epub {

std::string pageWrapperText(const std::string& languageTag, const std::string& imageName) {
    const char* crlf = "\r\n";
    std::string s;
    s += "<?xml version='1.0' encoding='utf-8'?>";
    s += crlf;
    s += "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"" + languageTag + "\"> ";
    s += crlf;
    s += "<head>";
    s += crlf;
    s += "<link href=\"CCS\\stylesheet.css\" type=\"text/css\" rel=\"stylesheet\"/> ";
    s += crlf;
    for (const char* line : {"</head>", "<body>", "<div>"}) {
        s += line;
        s += crlf;
    }
    s += "<img src=\"" + imageReference(imageName) + "\" />";
    s += crlf;
    for (const char* line : {"</div>", "</body>", "</html>"}) {
        s += line;
        s += crlf;
    }
    return s;
}

bool writePageWrapper(const std::string& path, const std::string& imageName) {
    const std::string text = pageWrapperText(platform::languageTag(), imageName);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace pagelume::epub
