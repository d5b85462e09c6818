#include "epub/page_wrapper.h"

#include "epub/references.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "xml/utf8.h"

namespace pagelume::epub {

namespace {

constexpr const char* kStrictDocumentType =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.1//EN\" "
    "\"http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd\">";

}  // namespace

std::string escapeText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t c = xml::nextChar(text, i);
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == xml::kBadChar || !xml::isXmlChar(c))
            out += "\xEF\xBF\xBD";
        else
            out.append(text, start, i - start);
    }
    return out;
}

std::string pageWrapperText(const std::string& languageTag, const std::string& imageName,
                            const StrictWrapper* strict) {
    const char* crlf = "\r\n";
    std::string s;
    s += "<?xml version='1.0' encoding='utf-8'?>";
    s += crlf;
    // Editors and some readers treat a page without one as damaged.
    if (strict) {
        s += kStrictDocumentType;
        s += crlf;
    }
    s += "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"" + languageTag + "\"> ";
    s += crlf;
    s += "<head>";
    s += crlf;
    s += "<link href=\"stylesheet.css\" type=\"text/css\" rel=\"stylesheet\"/> ";
    s += crlf;
    if (strict) {
        s += "<title>" + escapeText(strict->title) + "</title>";
        s += crlf;
    }
    for (const char* line : {"</head>", "<body>", "<div>"}) {
        s += line;
        s += crlf;
    }
    s += "<img src=\"" + imageReference(imageName) + "\"";
    if (strict)
        s += " alt=\"" + escapeText(strict->alt) + "\"";
    s += " />";
    s += crlf;
    for (const char* line : {"</div>", "</body>", "</html>"}) {
        s += line;
        s += crlf;
    }
    return s;
}

bool writePageWrapper(const std::string& path, const std::string& imageName,
                      const StrictWrapper* strict, std::string* error,
                      const std::string& language) {
    return platform::writeWholeFile(
        path,
        pageWrapperText(language.empty() ? platform::languageTag() : language, imageName, strict),
        error);
}

}  // namespace pagelume::epub
