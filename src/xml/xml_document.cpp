#include "xml/xml_document.h"

#include "platform/files.h"

namespace pagelume::xml {

namespace {

constexpr const char* kNoActiveDocument = "No active document";
constexpr const char* kNotSingleTextNode = "Element does not contain a single text node";
constexpr const char* kNoParseOptions = "DOM Implementation does not support IDOMParseOptions";
constexpr const char* kInvalidNodeType = "Invalid node type";

constexpr const char* kDeclItems[] = {"version", "encoding", "standalone"};

bool hasPrefix(const std::string& name) {
    return name.find(':') != std::string::npos;
}

std::string prefixOf(const std::string& name) {
    const auto colon = name.find(':');
    return colon == std::string::npos ? std::string() : name.substr(0, colon);
}

bool isIndentable(const dom::Node* node) {
    const auto type = node->nodeType();
    return type != dom::NodeType::Text && type != dom::NodeType::CData &&
           type != dom::NodeType::Attribute;
}

// Declaration values are names like 1.0, UTF-8, yes: anything else could
// break the quoting of the declaration.
bool isDeclValue(const std::string& value) {
    for (char c : value) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

}  // namespace

// ---- TXMLNodeList ----------------------------------------------------------

const std::vector<dom::Node*>& TXMLNodeList::items() const {
    return attributes_ ? owner_->node_->attributes() : owner_->node_->childNodes();
}

int TXMLNodeList::Count() const {
    return static_cast<int>(items().size());
}

TXMLNode* TXMLNodeList::Nodes(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return owner_->doc_->Wrap(items()[static_cast<std::size_t>(index)]);
}

TXMLNode* TXMLNodeList::FindNode(const std::string& name, const std::string& uri) const {
    if (name.empty())
        return nullptr;
    for (dom::Node* n : items()) {
        const bool inNamespace = uri.empty() || platform::equalsNoCase(n->namespaceURI(), uri);
        if (inNamespace && (n->nodeName() == name || n->localName() == name)) {
            return owner_->doc_->Wrap(n);
        }
    }
    return nullptr;
}

TXMLNode* TXMLNodeList::Nodes(const std::string& name) {
    TXMLNode* found = FindNode(name);
    if (!found && !attributes_ && owner_->doc_->Options().has(doNodeAutoCreate)) {
        found = owner_->AddElement(name);
    }
    return found;
}

int TXMLNodeList::IndexOf(const TXMLNode* node) const {
    if (!node || node->doc_ != owner_->doc_)
        return -1;
    const auto& list = items();
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == node->node_)
            return static_cast<int>(i);
    }
    return -1;
}

int TXMLNodeList::Add(TXMLNode* node) {
    if (!node || (node->NodeType() == ntAttribute) != attributes_) {
        throw EXMLDocError(kInvalidNodeType);
    }
    if (attributes_) {
        owner_->requireElement();
        owner_->doc_->RequireUnwritten(owner_->node_);
        owner_->node_->setAttributeNode(node->node_);
    } else {
        owner_->AppendChild(node->node_);
    }
    return IndexOf(node);
}

int TXMLNodeList::Remove(TXMLNode* node) {
    const int index = IndexOf(node);
    if (index < 0)
        return -1;
    owner_->doc_->RequireUnwritten(attributes_ ? owner_->node_ : node->node_);
    if (attributes_) {
        owner_->node_->removeAttributeNode(node->node_);
    } else {
        owner_->node_->removeChild(node->node_);
    }
    return index;
}

int TXMLNodeList::RemoveNamed(const std::string& name, const std::string& uri) {
    TXMLNode* node = FindNode(name, uri);
    return node ? Remove(node) : -1;
}

// ---- TXMLNode --------------------------------------------------------------

TXMLNode::TXMLNode(TXMLDocument* doc, dom::Node* node) : doc_(doc), node_(node) {}

TNodeType TXMLNode::NodeType() const {
    return static_cast<TNodeType>(node_->nodeType());
}
const std::string& TXMLNode::NodeName() const {
    return node_->nodeName();
}
const std::string& TXMLNode::Prefix() const {
    return node_->prefix();
}
const std::string& TXMLNode::LocalName() const {
    return node_->localName();
}
const std::string& TXMLNode::NodeNamespace() const {
    return node_->namespaceURI();
}
const std::string& TXMLNode::NodeValue() const {
    return node_->nodeValue();
}
TXMLNode* TXMLNode::ParentNode() const {
    return doc_->Wrap(node_->parentNode());
}
bool TXMLNode::HasChildNodes() const {
    return node_->hasChildNodes();
}

void TXMLNode::requireElement() const {
    if (NodeType() != ntElement)
        throw EXMLDocError(kInvalidNodeType);
}

int TXMLNode::IndentLevel() const {
    int level = 0;
    for (const dom::Node* p = node_->parentNode(); p; p = p->parentNode()) {
        if (p->nodeType() == dom::NodeType::Element)
            ++level;
    }
    return level;
}

// With indentation every element child starts on a line of its own, one unit
// deeper than this node, and this node's end tag gets a line of its own:
//   [CR LF + level units, before the first child only] unit, child, CR LF + level units
// The line break after a child and the unit before the next one stay two text
// nodes. The document node's children are never indented.
void TXMLNode::AppendChild(dom::Node* child) {
    const bool indent =
        node_->parentNode() && doc_->options_.has(doNodeAutoIndent) && child && isIndentable(child);
    const bool first = !node_->hasChildNodes();
    // An element whose start tag is written cannot move.
    doc_->RequireUnwritten(child);
    node_->appendChild(child);  // first, so that a refused child leaves no indent behind
    if (indent) {
        dom::Document& dom = doc_->Dom();
        std::string lineBreak = "\r\n";
        for (int i = IndentLevel(); i > 0; --i)
            lineBreak += doc_->indent_;
        dom::Node* unit = dom.createTextNode(doc_->indent_);
        node_->insertBefore(unit, child);
        if (first)
            node_->insertBefore(dom.createTextNode(lineBreak), unit);
        node_->appendChild(dom.createTextNode(lineBreak));
    }
    // Everything before a new element is final: a streamed document writes it.
    if (doc_->stream_ && child && child->nodeType() == dom::NodeType::Element)
        doc_->stream_->writeBefore(child);
}

TXMLNode* TXMLNode::CreateElement(const std::string& qualifiedName, const std::string& uri) {
    dom::Document& dom = doc_->Dom();
    dom::Node* element =
        uri.empty() ? dom.createElement(qualifiedName) : dom.createElementNS(uri, qualifiedName);
    AppendChild(element);
    return doc_->Wrap(element);
}

TXMLNode* TXMLNode::AddElement(const std::string& name) {
    if (hasPrefix(name))
        return CreateElement(name, LookupPrefixURI(prefixOf(name)));
    return CreateElement(Prefix().empty() ? name : Prefix() + ":" + name, NodeNamespace());
}

TXMLNode* TXMLNode::AddElementNS(const std::string& name, const std::string& uri,
                                 bool generatePrefix) {
    const TXMLNode* declaration = FindDeclaration(uri);
    std::string qualifiedName = name;
    std::string prefixToDeclare;
    if (declaration) {
        qualifiedName = QualifyName(name, uri);
    } else if (hasPrefix(name)) {
        prefixToDeclare = prefixOf(name);
    } else if (generatePrefix) {
        do {
            prefixToDeclare = "NS" + std::to_string(++doc_->prefixCounter_);
        } while (!LookupPrefixURI(prefixToDeclare).empty());
        qualifiedName = prefixToDeclare + ":" + name;
    }
    TXMLNode* element = CreateElement(qualifiedName, uri);
    // After the append, so the declaration is the element's first attribute.
    if (!declaration && !uri.empty() && doc_->options_.has(doNamespaceDecl)) {
        element->DeclarePrefix(prefixToDeclare, uri);
    }
    return element;
}

void TXMLNode::SetAttr(const std::string& name, const std::optional<std::string>& value) {
    requireElement();
    doc_->RequireUnwritten(node_);
    if (value) {
        node_->setAttribute(name, *value);
    } else {
        node_->removeAttribute(name);
    }
}

void TXMLNode::SetAttrNS(const std::string& name, const std::string& uri,
                         const std::optional<std::string>& value) {
    requireElement();
    doc_->RequireUnwritten(node_);
    const std::string qualifiedName = QualifyName(name, uri);
    if (value) {
        node_->setAttributeNS(uri, qualifiedName, *value);
    } else {
        node_->removeAttributeNS(uri, qualifiedName);
    }
}

std::optional<std::string> TXMLNode::GetAttr(const std::string& name) const {
    if (const dom::Node* attr = node_->getAttributeNode(name))
        return attr->nodeValue();
    if (doc_->options_.has(doAttrNull))
        return std::nullopt;
    return std::string();
}

void TXMLNode::DeclarePrefix(const std::string& prefix, const std::string& uri) {
    SetAttrNS(prefix.empty() ? "xmlns" : "xmlns:" + prefix, dom::kXmlnsNamespace, uri);
}

void TXMLNode::SetTextContent(const std::string& text) {
    if (NodeType() != ntElement) {
        node_->setNodeValue(text);
        return;
    }
    dom::Node* textNode;
    const auto& children = node_->childNodes();
    if (!children.empty()) {
        const auto type = children.front()->nodeType();
        if (children.size() != 1 || (type != dom::NodeType::Text && type != dom::NodeType::CData)) {
            throw EXMLDocError(kNotSingleTextNode);
        }
        textNode = children.front();
    } else {
        // Straight into the DOM: text never gets indent nodes.
        textNode = node_->appendChild(doc_->Dom().createTextNode(""));
    }
    textNode->setNodeValue(text);
}

std::string TXMLNode::LookupPrefixURI(const std::string& prefix) const {
    for (const dom::Node* n = node_; n; n = n->parentNode()) {
        for (const dom::Node* attr : n->attributes()) {
            if (attr->prefix() == "xmlns" && attr->localName() == prefix) {
                if (!attr->nodeValue().empty())
                    return attr->nodeValue();
                break;
            }
        }
    }
    return {};
}

TXMLNode* TXMLNode::FindDeclaration(const std::string& uri) const {
    for (const dom::Node* n = node_; n; n = n->parentNode()) {
        for (dom::Node* attr : n->attributes()) {
            const bool declaration = attr->prefix() == "xmlns" || attr->nodeName() == "xmlns";
            if (declaration && platform::equalsNoCase(attr->nodeValue(), uri)) {
                return doc_->Wrap(attr);
            }
        }
    }
    return nullptr;
}

std::string TXMLNode::QualifyName(const std::string& name, const std::string& uri) const {
    if (doc_->options_.has(doAutoPrefix) && !hasPrefix(name)) {
        const TXMLNode* declaration = FindDeclaration(uri);
        if (declaration && declaration->NodeName() != "xmlns") {
            return declaration->LocalName() + ":" + name;
        }
    }
    return name;
}

// ---- TXMLDocument ----------------------------------------------------------

TXMLDocument::TXMLDocument() = default;

TXMLDocument::~TXMLDocument() {
    try {
        SetActive(false);
    } catch (...) {
        // A destructor cannot report; an auto-save that fails here is lost.
    }
}

void TXMLDocument::SetActive(bool active) {
    if (active == Active())
        return;
    if (active) {
        if (!parseOptions_.empty())
            throw EXMLDocError(kNoParseOptions);
        // This DOM builds documents; it has no parser to load one with.
        if (!xml_.empty() || !fileName_.empty()) {
            throw EXMLDocError(
                "Loading a document is not supported: clear XML and FileName before opening");
        }
        dom_ = std::make_unique<dom::Document>();
        return;
    }
    if (options_.has(doAutoSave) && (stream_ || !fileName_.empty()))
        SaveDocument(stream_ ? "" : fileName_);
    Close();
}

void TXMLDocument::Close() {
    stream_.reset();  // first: it frees nodes, and unsaved it removes its file
    nodes_.clear();
    dom_.reset();
    prefixCounter_ = 0;
}

dom::Document& TXMLDocument::Dom() const {
    if (!dom_)
        throw EXMLDocError(kNoActiveDocument);
    return *dom_;
}

TXMLNode* TXMLDocument::Wrap(dom::Node* node) {
    if (!node)
        return nullptr;
    auto& slot = nodes_[node];
    if (!slot)
        slot.reset(new TXMLNode(this, node));
    return slot.get();
}

TXMLNode* TXMLDocument::DocNode() {
    return Wrap(&Dom());
}

TXMLNode* TXMLDocument::DocumentElement() {
    return Wrap(Dom().documentElement());
}

void TXMLDocument::MakeDocumentElement(TXMLNode* root) {
    dom::Document& dom = Dom();
    if (!root || root->doc_ != this || root->NodeType() != ntElement) {
        throw EXMLDocError(kInvalidNodeType);
    }
    // Replacing checks first and changes nothing when refused; a root that is
    // already the document element stays where it is.
    if (stream_ && stream_->begun() && dom.documentElement() != root->node_)
        throw EXMLDocError("The document element is written already");
    if (dom::Node* current = dom.documentElement()) {
        dom.replaceChild(root->node_, current);
    } else {
        dom.appendChild(root->node_);
    }
}

TXMLNode* TXMLDocument::CreateNode(const std::string& nameOrData, TNodeType type,
                                   const std::string& addlData) {
    dom::Document& dom = Dom();
    switch (type) {
        case ntElement:
            return Wrap(addlData.empty() ? dom.createElement(nameOrData)
                                         : dom.createElementNS(addlData, nameOrData));
        case ntAttribute:
            return Wrap(addlData.empty() ? dom.createAttribute(nameOrData)
                                         : dom.createAttributeNS(addlData, nameOrData));
        case ntText:
            return Wrap(dom.createTextNode(nameOrData));
        case ntCData:
            return Wrap(dom.createCDATASection(nameOrData));
        case ntProcessingInstr:
            return Wrap(dom.createProcessingInstruction(nameOrData, addlData));
        case ntDocType:
            return Wrap(dom.createDocumentType(nameOrData));
        default:
            throw EXMLDocError(kInvalidNodeType);
    }
}

// ---- the XML declaration ---------------------------------------------------

// The declaration is the document's first child when that is an instruction
// named "xml"; its data is the only copy of the three items.
dom::Node* TXMLDocument::Declaration() const {
    const auto& children = Dom().childNodes();
    if (children.empty())
        return nullptr;
    dom::Node* first = children.front();
    const bool isDecl =
        first->nodeType() == dom::NodeType::ProcessingInstruction && first->nodeName() == "xml";
    return isDecl ? first : nullptr;
}

std::string TXMLDocument::DeclItem(int item) const {
    const dom::Node* declaration = Declaration();
    std::optional<std::string> value;
    if (declaration)
        value = dom::declarationItem(declaration->nodeValue(), kDeclItems[item]);
    if (value)
        return *value;
    return item == 0 ? "1.0" : "";
}

// Rebuilds the data in the fixed order version, encoding, standalone, leaving
// out empty items, and puts a new instruction in the old one's place.
void TXMLDocument::SetDeclItem(int item, const std::string& value) {
    dom::Document& dom = Dom();
    if (!isDeclValue(value)) {
        throw EXMLDocError("Invalid value \"" + value + "\" for the XML declaration");
    }
    if (stream_ && stream_->begun())
        throw EXMLDocError("The XML declaration is written already");
    std::string data;
    for (int i = 0; i < 3; ++i) {
        const std::string itemValue = i == item ? value : DeclItem(i);
        if (itemValue.empty())
            continue;
        if (!data.empty())
            data += ' ';
        data += std::string(kDeclItems[i]) + "=\"" + itemValue + "\"";
    }
    dom::Node* declaration = dom.createProcessingInstruction("xml", data);
    if (dom::Node* current = Declaration()) {
        dom.replaceChild(declaration, current);
    } else {
        dom.insertBefore(declaration, dom.hasChildNodes() ? dom.childNodes().front() : nullptr);
    }
}

std::string TXMLDocument::DeclVersion() const {
    return DeclItem(0);
}
std::string TXMLDocument::DeclEncoding() const {
    return DeclItem(1);
}
std::string TXMLDocument::DeclStandalone() const {
    return DeclItem(2);
}
void TXMLDocument::SetDeclVersion(const std::string& value) {
    SetDeclItem(0, value);
}
void TXMLDocument::SetDeclEncoding(const std::string& value) {
    SetDeclItem(1, value);
}
void TXMLDocument::SetDeclStandalone(const std::string& value) {
    SetDeclItem(2, value);
}

// ---- saving ----------------------------------------------------------------

void TXMLDocument::SaveDocument(const std::string& fileName) {
    if (stream_) {
        if (!fileName.empty() && fileName != stream_->path())
            throw EXMLDocError("The document is being saved to " + stream_->path());
        // Finished or failed, the stream is over: a failure removes its file.
        const std::unique_ptr<dom::DocumentStream> stream = std::move(stream_);
        stream->finish();
        return;
    }
    dom::save(Dom(), fileName.empty() ? fileName_ : fileName);
}

std::string TXMLDocument::SaveToXML() const {
    if (stream_)
        throw EXMLDocError("The document is being saved to " + stream_->path());
    return dom::serialize(Dom());
}

void TXMLDocument::StreamTo(const std::string& fileName) {
    dom::Document& dom = Dom();
    if (stream_)
        throw EXMLDocError("The document is being saved to " + stream_->path());
    if (fileName.empty())
        throw EDOMError("Cannot save the document: no file name given");
    stream_ = std::make_unique<dom::DocumentStream>(
        dom, fileName, [this](const dom::Node* node) { nodes_.erase(node); });
}

void TXMLDocument::RequireUnwritten(const dom::Node* element) const {
    if (stream_ && element && stream_->started(element))
        throw EXMLDocError("The start tag of <" + element->nodeName() + "> is written already");
}

}  // namespace pagelume::xml
