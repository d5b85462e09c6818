// Writing a DOM document as UTF-8 text and saving it without ever leaving a
// half-written file behind.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#include "platform/files.h"
#include "xml/dom.h"
#include "xml/utf8.h"

namespace pagelume::xml::dom {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

enum class Escape { None, Text, Attribute };

struct Reference {
    char32_t c;
    const char* text;
    bool attributeOnly;
};
// In attribute values CR, LF and TAB are written as references too, or a
// reader would fold them into blanks.
constexpr Reference kReferences[] = {
    {'&', "&amp;", false}, {'<', "&lt;", false},  {'>', "&gt;", false}, {'"', "&quot;", true},
    {'\r', "&#13;", true}, {'\n', "&#10;", true}, {'\t', "&#9;", true},
};

// Copies s, escaping as asked. Characters XML cannot carry become U+FFFD, so
// that whatever the caller's strings hold, what we write parses.
void append(std::string& out, std::string_view s, Escape escape) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t start = i;
        const char32_t c = nextChar(s, i);
        if (c == kBadChar || !isXmlChar(c)) {
            out += kReplacement;
            continue;
        }
        const char* ref = nullptr;
        for (const auto& r : kReferences) {
            if (r.c == c && escape != Escape::None &&
                (!r.attributeOnly || escape == Escape::Attribute)) {
                ref = r.text;
            }
        }
        if (ref) {
            out += ref;
        } else {
            out.append(s.substr(start, i - start));
        }
    }
}

// "]]>" cannot stand inside a CDATA section: it is split over two sections.
void appendCData(std::string& out, std::string_view s) {
    out += "<![CDATA[";
    for (std::size_t at; (at = s.find("]]>")) != std::string_view::npos; s.remove_prefix(at + 2)) {
        append(out, s.substr(0, at + 2), Escape::None);
        out += "]]><![CDATA[";
    }
    append(out, s, Escape::None);
    out += "]]>";
}

void appendStartTag(std::string& out, const Node& element) {
    out += '<';
    out += element.nodeName();
    for (const Node* attr : element.attributes()) {
        out += ' ';
        out += attr->nodeName();
        out += "=\"";
        append(out, attr->nodeValue(), Escape::Attribute);
        out += '"';
    }
    out += element.hasChildNodes() ? ">" : "/>";
}

// One node and everything under it. A stack instead of recursion, so that
// the depth of a tree is never limited by the depth of the call stack.
void appendNode(std::string& out, const Node& top) {
    std::vector<std::pair<const Node*, std::size_t>> open;  // element, next child
    const Node* node = &top;
    for (;;) {
        if (node) {
            switch (node->nodeType()) {
                case NodeType::Element:
                    appendStartTag(out, *node);
                    if (node->hasChildNodes())
                        open.emplace_back(node, 0);
                    break;
                case NodeType::Text:
                    append(out, node->nodeValue(), Escape::Text);
                    break;
                case NodeType::CData:
                    appendCData(out, node->nodeValue());
                    break;
                case NodeType::ProcessingInstruction:
                    out += "<?";
                    out += node->nodeName();
                    if (!node->nodeValue().empty()) {
                        out += ' ';
                        append(out, node->nodeValue(), Escape::None);
                    }
                    out += "?>";
                    break;
                case NodeType::DocumentType:
                    out += "<!DOCTYPE ";
                    out += node->nodeName();
                    out += '>';
                    break;
                case NodeType::Attribute:
                case NodeType::Document:
                    break;
            }
        }
        if (open.empty())
            return;
        auto& [element, next] = open.back();
        if (next < element->childNodes().size()) {
            node = element->childNodes()[next++];
        } else {
            out += "</";
            out += element->nodeName();
            out += '>';
            open.pop_back();
            node = nullptr;
        }
    }
}

[[noreturn]] void saveFailed(const std::string& path, int error) {
    throw EDOMError("Cannot save \"" + path + "\": " + std::generic_category().message(error));
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = EIO;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::string serialize(const Document& doc) {
    const auto& top = doc.childNodes();
    if (!top.empty() && top.front()->nodeType() == NodeType::ProcessingInstruction &&
        top.front()->nodeName() == "xml") {
        const auto encoding = declarationItem(top.front()->nodeValue(), "encoding");
        if (encoding && !encoding->empty() && !platform::equalsNoCase(*encoding, "UTF-8")) {
            throw EDOMError("Cannot write the encoding \"" + *encoding +
                            "\": only UTF-8 is supported");
        }
    }
    std::string out;
    for (std::size_t i = 0; i < top.size(); ++i) {
        if (i > 0)
            out += "\r\n";
        appendNode(out, *top[i]);
    }
    return out;
}

void save(const Document& doc, const std::string& path) {
    if (path.empty())
        throw EDOMError("Cannot save the document: no file name given");
    const std::string bytes = serialize(doc);
    const std::string name = platform::fileNamePart(path);
    if (name.empty())
        saveFailed(path, EISDIR);

    // A hidden sibling with a name no other save uses; renamed over the
    // target only once every byte is on disk.
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temp = platform::directoryPart(path) + "." + name.substr(0, 64) + "." +
               std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 100))
            saveFailed(path, errno);
    }
    int error = 0;
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && std::rename(temp.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        saveFailed(path, error);
    }
}

}  // namespace pagelume::xml::dom
