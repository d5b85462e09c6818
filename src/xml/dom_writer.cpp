// Writing a DOM document as UTF-8 text, whole or while it is still being
// built, and saving it without ever leaving a half-written file behind.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#include "platform/files.h"
#include "xml/dom.h"
#include "xml/dom_stream.h"
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

void checkEncoding(const Node& declaration) {
    const auto encoding = declarationItem(declaration.nodeValue(), "encoding");
    if (encoding && !encoding->empty() && !platform::equalsNoCase(*encoding, "UTF-8")) {
        throw EDOMError("Cannot write the encoding \"" + *encoding + "\": only UTF-8 is supported");
    }
}

bool isDeclarationNode(const Node& node) {
    return node.nodeType() == NodeType::ProcessingInstruction && node.nodeName() == "xml";
}

// Bytes are kept until there are this many, then written.
constexpr std::size_t kSpillSize = 64 * 1024;

}  // namespace

std::string serialize(const Document& doc) {
    const auto& top = doc.childNodes();
    if (!top.empty() && isDeclarationNode(*top.front()))
        checkEncoding(*top.front());
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
    OutputFile file(path);
    file.write(bytes);
    file.commit();
}

// ---- OutputFile ------------------------------------------------------------

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    const std::string name = platform::fileNamePart(path_);
    if (name.empty())
        failed(EISDIR);
    // A hidden sibling with a name no other save uses; renamed over the
    // target only once every byte is on disk.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; fd_ < 0; ++attempt) {
        temp_ = platform::directoryPart(path_) + "." + name.substr(0, 64) + "." +
                std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && (errno != EEXIST || attempt == 100))
            failed(errno);
    }
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temp_.c_str());
    }
}

void OutputFile::failed(int error) {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temp_.c_str());
        fd_ = -1;
    }
    throw EDOMError("Cannot save \"" + path_ + "\": " + std::generic_category().message(error));
}

void OutputFile::write(std::string_view bytes) {
    if (fd_ < 0)
        throw EDOMError("Cannot save \"" + path_ + "\": the file is closed");
    if (!writeAll(fd_, bytes))
        failed(errno);
}

void OutputFile::commit() {
    if (fd_ < 0)
        throw EDOMError("Cannot save \"" + path_ + "\": the file is closed");
    if (::fsync(fd_) != 0)
        failed(errno);
    const int fd = std::exchange(fd_, -1);
    int error = ::close(fd) != 0 ? errno : 0;
    if (error == 0 && std::rename(temp_.c_str(), path_.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp_.c_str());
        throw EDOMError("Cannot save \"" + path_ + "\": " + std::generic_category().message(error));
    }
}

// ---- DocumentStream --------------------------------------------------------

DocumentStream::DocumentStream(Document& doc, std::string path,
                               std::function<void(const Node*)> released)
    : doc_(doc), file_(std::move(path)), released_(std::move(released)) {}

bool DocumentStream::started(const Node* element) const {
    return std::find(open_.begin(), open_.end(), element) != open_.end();
}

void DocumentStream::spill(bool all) {
    if (out_.size() >= kSpillSize || (all && !out_.empty())) {
        file_.write(out_);
        out_.clear();
    }
}

// A child of the document (the declaration, the document type, the root),
// whole or, for the root, only its start tag. The same line break stands
// between them as serialize() puts there.
void DocumentStream::writeTop(Node* node, bool startOnly) {
    if (isDeclarationNode(*node))
        checkEncoding(*node);
    if (begun_)
        out_ += "\r\n";
    begun_ = true;
    if (startOnly)
        writeStartTag(node);
    else
        writeAndFree(node);
}

void DocumentStream::writeStartTag(Node* element) {
    appendStartTag(out_, *element);  // it has children, so it stays open
    open_.push_back(element);
}

void DocumentStream::writeAndFree(Node* node) {
    appendNode(out_, *node);
    if (Node* parent = node->parentNode())
        parent->removeChild(node);
    doc_.destroy(node, released_);
    spill(false);
}

// The deepest started element is done: its children that are left, its end
// tag, and then it goes too.
void DocumentStream::closeDeepest() {
    Node* element = open_.back();
    while (element->hasChildNodes()) {
        Node* child = element->childNodes().front();
        appendNode(out_, *child);
        element->removeChild(child);
        doc_.destroy(child, released_);
        spill(false);
    }
    out_ += "</";
    out_ += element->nodeName();
    out_ += '>';
    open_.pop_back();
    if (Node* parent = element->parentNode())
        parent->removeChild(element);
    doc_.destroy(element, released_);
}

void DocumentStream::writeBefore(const Node* node) {
    path_.clear();
    const Node* top = node;
    for (const Node* p = node ? node->parentNode() : nullptr; p; p = p->parentNode()) {
        path_.push_back(p);
        top = p;
    }
    // Only a node below an element of this document has anything before it
    // that could be final.
    if (top != &doc_ || path_.size() < 2)
        return;
    // The document itself goes; the root comes first, then down to node's parent.
    path_.pop_back();
    std::reverse(path_.begin(), path_.end());

    // Started elements that are not on the way to node are finished.
    std::size_t common = 0;
    while (common < open_.size() && common < path_.size() && open_[common] == path_[common])
        ++common;
    while (open_.size() > common)
        closeDeepest();

    // Then each element on the way, from the root down: its start tag, and
    // the children before the next one on the way, which are complete.
    for (std::size_t level = 0; level < path_.size(); ++level) {
        Node* element = const_cast<Node*>(path_[level]);
        const Node* next = level + 1 < path_.size() ? path_[level + 1] : node;
        if (level == 0 && open_.empty()) {
            while (doc_.childNodes().front() != element)
                writeTop(doc_.childNodes().front(), false);
            writeTop(element, true);
        } else if (level >= open_.size()) {
            writeStartTag(element);
        }
        while (element->childNodes().front() != next)
            writeAndFree(element->childNodes().front());
    }
    spill(false);
}

void DocumentStream::finish() {
    while (!open_.empty())
        closeDeepest();
    while (doc_.hasChildNodes())
        writeTop(doc_.childNodes().front(), false);
    spill(true);
    file_.commit();
}

}  // namespace pagelume::xml::dom
