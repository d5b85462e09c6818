#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exception.h"

namespace pagelume::xml {

// A DOM call was refused (a name or a tree that would not make well-formed
// XML) or failed (the file could not be saved). The message says which.
PAGELUME_DEFINE_EXCEPTION(EDOMError, Exception);

}  // namespace pagelume::xml

// The small DOM under the document builder: a tree of elements, attributes,
// text, CDATA sections and processing instructions, owned by its document.
// Names are qualified names; prefix and local name are always the parts
// before and after the first colon, whether or not a namespace is given.
// It checks only what keeps the written file well-formed; namespace
// declarations are ordinary attributes and are never added behind the
// caller's back.
namespace pagelume::xml::dom {

enum class NodeType {
    Element = 1,
    Attribute = 2,
    Text = 3,
    CData = 4,
    ProcessingInstruction = 7,
    Document = 9,
    DocumentType = 10,
};

inline constexpr const char* kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";

class Document;

class Node {
public:
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    virtual ~Node() = default;

    NodeType nodeType() const { return type_; }
    // Qualified name; the target of a processing instruction; the name of a
    // document type; "#text",
    // "#cdata-section" and "#document" for the others.
    const std::string& nodeName() const { return name_; }
    const std::string& prefix() const { return prefix_; }
    const std::string& localName() const { return localName_; }
    const std::string& namespaceURI() const { return uri_; }
    // Text, CDATA and attribute value, instruction data; empty for the rest.
    const std::string& nodeValue() const { return value_; }
    // Ignored on elements and the document, as DOM has it.
    void setNodeValue(std::string value);

    Node* parentNode() const { return type_ == NodeType::Attribute ? nullptr : parent_; }
    Node* ownerElement() const { return type_ == NodeType::Attribute ? parent_ : nullptr; }
    Document* ownerDocument() const { return owner_; }

    const std::vector<Node*>& childNodes() const { return children_; }
    bool hasChildNodes() const { return !children_.empty(); }
    // A node that is already in a tree is moved. All return the node inserted
    // or removed; a refused call changes nothing.
    Node* appendChild(Node* child) { return insertBefore(child, nullptr); }
    Node* insertBefore(Node* child, Node* ref);  // ref null: append
    Node* replaceChild(Node* child, Node* old);
    Node* removeChild(Node* child);

    // Attributes (elements only), in the order first set.
    const std::vector<Node*>& attributes() const { return attributes_; }
    Node* getAttributeNode(std::string_view name) const;
    // With an empty URI the qualified name must match, otherwise the local
    // name of `name`; so "xml:lang" without a namespace stays one attribute.
    Node* getAttributeNodeNS(std::string_view uri, std::string_view name) const;
    void setAttribute(std::string_view name, std::string value);
    void setAttributeNS(std::string_view uri, std::string_view qualifiedName, std::string value);
    Node* setAttributeNode(Node* attr);  // returns the attribute it replaced, if any
    void removeAttribute(std::string_view name);
    void removeAttributeNS(std::string_view uri, std::string_view name);
    void removeAttributeNode(Node* attr);

protected:
    Node(Document* owner, NodeType type, std::string name, std::string uri, std::string value);

private:
    void requireElement(const char* call) const;
    void checkInsert(Node* child, std::size_t position, const Node* replaced) const;
    void detach();
    Node* putAttribute(Node* attr, Node* existing);

    Document* owner_;
    NodeType type_;
    std::string name_, prefix_, localName_, uri_, value_;
    Node* parent_ = nullptr;  // the owner element for an attribute
    std::size_t slot_ = 0;    // where the document keeps it, so it can be freed at once
    std::vector<Node*> children_;
    std::vector<Node*> attributes_;

    friend class Document;
};

// Owns every node made through it, linked or not, until it is destroyed.
class Document : public Node {
public:
    Document();

    Node* createElement(std::string_view name);
    Node* createElementNS(std::string_view uri, std::string_view qualifiedName);
    Node* createAttribute(std::string_view name);
    Node* createAttributeNS(std::string_view uri, std::string_view qualifiedName);
    Node* createTextNode(std::string_view text);
    Node* createCDATASection(std::string_view text);
    Node* createProcessingInstruction(std::string_view target, std::string_view data);
    // <!DOCTYPE name>, with no identifiers and no internal subset (what an
    // HTML document needs); a child of the document only, before its root.
    Node* createDocumentType(std::string_view name);

    Node* documentElement() const;

    // Frees a node that stands in no tree (no parent, not an attribute of an
    // element), with its attributes and everything under it. released hears
    // of each node just before it goes. Pointers to them are void afterwards.
    void destroy(Node* node, const std::function<void(const Node*)>& released = {});

private:
    friend class Node;
    Node* make(NodeType type, std::string_view name, std::string_view uri, std::string_view value);

    std::vector<std::unique_ptr<Node>> nodes_;
};

// True for an XML name: a letter, '_' or ':' first, then also digits, '-'
// and '.'; any well-formed UTF-8 character above ASCII counts as a letter.
bool isXmlName(std::string_view name);

// The value of a pseudo-attribute of a declaration's data: the first place
// `name` occurs, then the text between the next two quote characters.
// Nothing when the name does not occur or no quoted value follows it.
std::optional<std::string> declarationItem(std::string_view data, std::string_view name);

// The document as UTF-8 without a byte-order mark: its children separated by
// CR LF and nothing after the last; an element without children as <a/>;
// text escapes & < >, attribute values & < > " and CR, LF, TAB as character
// references. Characters XML cannot carry (most control characters, broken
// UTF-8) come out as U+FFFD. Throws EDOMError when the declaration names an
// encoding other than UTF-8.
std::string serialize(const Document& doc);

// Writes serialize(doc) to path. The bytes go to a temporary file in the same
// folder that replaces path only once it is complete, so a failed save leaves
// any earlier file untouched. Throws EDOMError naming the file and the reason.
void save(const Document& doc, const std::string& path);

}  // namespace pagelume::xml::dom
