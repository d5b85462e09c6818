#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/exception.h"
#include "xml/dom.h"
#include "xml/dom_stream.h"

// The element-tree builder the book's package and navigation documents are
// made with: a document, node objects over the nodes of its DOM, and node
// lists. It decides names, namespaces, declarations and indentation; the DOM
// below holds the tree and writes it.
namespace pagelume::xml {

// Misuse of the builder: no open document, text where there is none, a kind
// of node it cannot make. What the DOM refuses is an EDOMError.
PAGELUME_DEFINE_EXCEPTION(EXMLDocError, Exception);

// A set of up to eight options kept in one byte, bit n for option n.
template <typename E>
class ByteSet {
public:
    constexpr ByteSet() = default;
    constexpr explicit ByteSet(std::uint8_t bits) : bits_(bits) {}
    constexpr ByteSet(std::initializer_list<E> items) {
        for (E e : items)
            *this += e;
    }
    constexpr bool has(E e) const { return (bits_ >> e) & 1u; }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr std::uint8_t bits() const { return bits_; }
    constexpr ByteSet& operator+=(E e) {
        bits_ = static_cast<std::uint8_t>(bits_ | (1u << e));
        return *this;
    }
    constexpr ByteSet& operator-=(E e) {
        bits_ = static_cast<std::uint8_t>(bits_ & ~(1u << e));
        return *this;
    }
    friend constexpr bool operator==(ByteSet, ByteSet) = default;

private:
    std::uint8_t bits_ = 0;
};

enum TXMLDocOption {
    doNodeAutoCreate,  // TXMLNodeList::Nodes(name) adds a missing element
    doNodeAutoIndent,  // indent text nodes around every element added
    doAttrNull,        // GetAttr gives nothing, not "", for a missing attribute
    doAutoPrefix,      // QualifyName uses a prefix declared for the namespace
    doNamespaceDecl,   // AddElementNS declares a namespace not yet in scope
    doAutoSave,        // closing the document saves it to FileName
};
using TXMLDocOptions = ByteSet<TXMLDocOption>;

enum TParseOption { poResolveExternals, poValidateOnParse, poPreserveWhiteSpace, poAsyncLoad };
using TParseOptions = ByteSet<TParseOption>;

// DOM node kinds, numbered as DOM numbers them.
enum TNodeType {
    ntReserved,
    ntElement,
    ntAttribute,
    ntText,
    ntCData,
    ntEntityRef,
    ntEntity,
    ntProcessingInstr,
    ntComment,
    ntDocument,
    ntDocType,
    ntDocFragment,
    ntNotation,
};

class TXMLDocument;
class TXMLNode;

// The children or the attributes of a node: a live view of the DOM, so it is
// never out of step with it. Indexes run from 0.
class TXMLNodeList {
public:
    int Count() const;
    TXMLNode* Nodes(int index) const;  // null when out of range
    TXMLNode* operator[](int index) const { return Nodes(index); }
    // The first node whose name or local name is `name` and whose namespace
    // is `uri` (any URI when empty; ASCII case ignored), or null.
    TXMLNode* FindNode(const std::string& name, const std::string& uri = "") const;
    // FindNode; with doNodeAutoCreate a missing child element is added.
    TXMLNode* Nodes(const std::string& name);
    int IndexOf(const TXMLNode* node) const;  // -1 when absent
    // Appends a node (a child is indented as AddElement indents; an attribute
    // takes the place of one of the same name). Returns its index.
    int Add(TXMLNode* node);
    // Removes the node from the DOM and the list; its former index, or -1.
    int Remove(TXMLNode* node);
    // Removes the first node FindNode(name, uri) would give; its index or -1.
    int RemoveNamed(const std::string& name, const std::string& uri);

private:
    friend class TXMLNode;
    TXMLNodeList(TXMLNode* owner, bool attributes) : owner_(owner), attributes_(attributes) {}
    const std::vector<dom::Node*>& items() const;

    TXMLNode* owner_;
    bool attributes_;
};

// One node of the document. Node objects belong to their document and stay
// valid while it is open; the same DOM node always has the same object.
class TXMLNode {
public:
    TXMLNode(const TXMLNode&) = delete;
    TXMLNode& operator=(const TXMLNode&) = delete;

    TNodeType NodeType() const;
    const std::string& NodeName() const;
    const std::string& Prefix() const;
    const std::string& LocalName() const;
    // The namespace URI as the DOM holds it; empty for none.
    const std::string& NodeNamespace() const;
    // Text, attribute value or instruction data; empty for the others.
    const std::string& NodeValue() const;
    TXMLNode* ParentNode() const;  // null for the document node and attributes
    TXMLDocument* OwnerDocument() const { return doc_; }

    TXMLNodeList& ChildNodes() { return children_; }
    TXMLNodeList& Attributes() { return attributes_; }
    bool HasChildNodes() const;

    // A child element whose namespace comes from the name's prefix, or from
    // this node for a name without one. Never declares a namespace.
    TXMLNode* AddElement(const std::string& name);
    // A child element in namespace `uri`, declared on it (as its first
    // attribute) when no declaration of that URI is in scope.
    TXMLNode* AddElementNS(const std::string& name, const std::string& uri,
                           bool generatePrefix = false);

    // Sets an attribute by its name as given, with no namespace processing;
    // a null value (std::nullopt) removes it instead.
    void SetAttr(const std::string& name, const std::optional<std::string>& value);
    void SetAttrNS(const std::string& name, const std::string& uri,
                   const std::optional<std::string>& value);
    // The attribute's value; a missing one is "" or, with doAttrNull, nothing.
    std::optional<std::string> GetAttr(const std::string& name) const;
    // xmlns:prefix="uri", or xmlns="uri" for the empty prefix.
    void DeclarePrefix(const std::string& prefix, const std::string& uri);
    // Leaves an element with exactly one text child holding `text`; on any
    // other node sets the node's own value.
    void SetTextContent(const std::string& text);

    // The URI of the nearest non-empty declaration of `prefix`, or "".
    std::string LookupPrefixURI(const std::string& prefix) const;
    // The nearest declaration attribute (default or prefixed) of `uri`,
    // compared without regard to ASCII case; null when there is none.
    TXMLNode* FindDeclaration(const std::string& uri) const;
    // With doAutoPrefix, a name without a prefix gets the prefix under which
    // `uri` is declared in scope; any other name is returned as it is.
    std::string QualifyName(const std::string& name, const std::string& uri) const;

private:
    friend class TXMLDocument;
    friend class TXMLNodeList;
    TXMLNode(TXMLDocument* doc, dom::Node* node);

    void requireElement() const;
    int IndentLevel() const;
    // Appends to the DOM, surrounded by indent text when the document says so.
    void AppendChild(dom::Node* child);
    TXMLNode* CreateElement(const std::string& qualifiedName, const std::string& uri);

    TXMLDocument* doc_;
    dom::Node* node_;
    TXMLNodeList children_{this, false};
    TXMLNodeList attributes_{this, true};
};

class TXMLDocument {
public:
    TXMLDocument();
    ~TXMLDocument();  // closes; with doAutoSave a failed save is lost
    TXMLDocument(const TXMLDocument&) = delete;
    TXMLDocument& operator=(const TXMLDocument&) = delete;

    TXMLDocOptions Options() const { return options_; }  // 0x1D for a new document
    void SetOptions(TXMLDocOptions options) { options_ = options; }
    const std::string& NodeIndentStr() const { return indent_; }  // two blanks at first
    void SetNodeIndentStr(std::string indent) { indent_ = std::move(indent); }
    TParseOptions ParseOptions() const { return parseOptions_; }
    void SetParseOptions(TParseOptions options) { parseOptions_ = options; }
    // Text that opening would load, and the file it would load otherwise.
    // Our DOM only builds documents, so both must be empty when it opens.
    std::vector<std::string>& XML() { return xml_; }
    const std::string& FileName() const { return fileName_; }
    void SetFileName(std::string fileName) { fileName_ = std::move(fileName); }

    bool Active() const { return dom_ != nullptr; }
    // true opens an empty document; false releases it and every node object.
    void SetActive(bool active);

    TXMLNode* DocNode();
    TXMLNode* DocumentElement();
    // Makes `root` the document element, in the place of the current one.
    void MakeDocumentElement(TXMLNode* root);
    // A node of the given kind, not yet in the tree: an element or attribute
    // (addlData its namespace URI), text, CDATA (nameOrData the text), an
    // instruction (nameOrData the target, addlData the data) or a document
    // type (nameOrData its name).
    TXMLNode* CreateNode(const std::string& nameOrData, TNodeType type = ntElement,
                         const std::string& addlData = "");

    // The XML declaration's items; setting one rewrites the declaration.
    std::string DeclVersion() const;
    std::string DeclEncoding() const;
    std::string DeclStandalone() const;
    void SetDeclVersion(const std::string& value);
    void SetDeclEncoding(const std::string& value);
    void SetDeclStandalone(const std::string& value);

    // Saves to fileName, or to FileName when it is empty. A document that
    // is streamed is finished (fileName empty or the one streamed to) and
    // left empty.
    void SaveDocument(const std::string& fileName = "");
    // The text SaveDocument would write; not while the document is streamed.
    std::string SaveToXML() const;

    // Saves the document into fileName while it is built, so that a long
    // document never stands in memory whole; the file holds the same bytes
    // as SaveDocument would write. From now on, every element added writes
    // and frees all that comes before it in the document: its earlier
    // siblings and those of its ancestors, with everything under them (their
    // node objects are gone then), and the start tags of its ancestors,
    // which take no further attributes. SaveDocument writes the rest; until
    // then the file is a hidden temporary one, removed when the document
    // closes unsaved.
    void StreamTo(const std::string& fileName);
    bool Streaming() const { return stream_ != nullptr; }

private:
    friend class TXMLNode;
    friend class TXMLNodeList;

    dom::Document& Dom() const;  // raises "No active document"
    TXMLNode* Wrap(dom::Node* node);
    dom::Node* Declaration() const;
    std::string DeclItem(int item) const;
    void SetDeclItem(int item, const std::string& value);
    void Close();
    // Refuses a change to an element whose start tag is written already.
    void RequireUnwritten(const dom::Node* element) const;

    TXMLDocOptions options_{0x1D};
    std::string indent_ = "  ";
    TParseOptions parseOptions_;
    std::vector<std::string> xml_;
    std::string fileName_;
    int prefixCounter_ = 0;
    std::unique_ptr<dom::Document> dom_;
    std::unordered_map<const dom::Node*, std::unique_ptr<TXMLNode>> nodes_;
    std::unique_ptr<dom::DocumentStream> stream_;  // while streamed
};

}  // namespace pagelume::xml
