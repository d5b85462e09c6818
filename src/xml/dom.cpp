#include "xml/dom.h"

#include <algorithm>

#include "platform/files.h"
#include "xml/utf8.h"

namespace pagelume::xml::dom {

namespace {

// Searched from the end, where a document being built is worked on, so that
// building stays linear in the number of children.
std::size_t indexIn(const std::vector<Node*>& list, const Node* node) {
    const auto found = std::find(list.rbegin(), list.rend(), node);
    return found == list.rend() ? list.size()
                                : static_cast<std::size_t>(list.rend() - found) - 1;
}

bool isDeclaration(const Node* node) {
    return node->nodeType() == NodeType::ProcessingInstruction &&
           platform::equalsNoCase(node->nodeName(), "xml");
}

[[noreturn]] void refuse(const std::string& what) {
    throw EDOMError(what);
}

void checkName(std::string_view name) {
    if (!isXmlName(name))
        refuse("Invalid name \"" + std::string(name) + "\"");
}

void checkInstructionData(std::string_view data) {
    if (data.find("?>") != std::string_view::npos) {
        refuse("A processing instruction cannot contain \"?>\"");
    }
}

// Qualified names are matched whole when there is no namespace, so that
// "xml:lang" and "my:lang" without one stay two attributes.
bool matchesNS(const Node* attr, std::string_view uri, std::string_view name) {
    if (attr->namespaceURI() != uri)
        return false;
    if (uri.empty())
        return attr->nodeName() == name;
    const auto colon = name.find(':');
    return attr->localName() == (colon == std::string_view::npos ? name : name.substr(colon + 1));
}

}  // namespace

bool isXmlName(std::string_view name) {
    if (name.empty())
        return false;
    for (std::size_t i = 0; i < name.size();) {
        const bool first = i == 0;
        const char32_t c = nextChar(name, i);
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
                            c == ':' || (c >= 0x80 && isXmlChar(c));
        const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!letter && (first || !other))
            return false;
    }
    return true;
}

std::optional<std::string> declarationItem(std::string_view data, std::string_view name) {
    const auto at = data.find(name);
    if (at == std::string_view::npos)
        return std::nullopt;
    const auto open = data.find_first_of("\"'", at + name.size());
    if (open == std::string_view::npos)
        return std::nullopt;
    const auto close = data.find_first_of("\"'", open + 1);
    if (close == std::string_view::npos)
        return std::nullopt;
    return std::string(data.substr(open + 1, close - open - 1));
}

// ---- Node ------------------------------------------------------------------

Node::Node(Document* owner, NodeType type, std::string name, std::string uri, std::string value)
    : owner_(owner),
      type_(type),
      name_(std::move(name)),
      uri_(std::move(uri)),
      value_(std::move(value)) {
    if (type_ == NodeType::Element || type_ == NodeType::Attribute) {
        const auto colon = name_.find(':');
        if (colon != std::string::npos) {
            prefix_ = name_.substr(0, colon);
            localName_ = name_.substr(colon + 1);
        } else {
            localName_ = name_;
        }
    }
}

void Node::setNodeValue(std::string value) {
    switch (type_) {
        case NodeType::ProcessingInstruction:
            checkInstructionData(value);
            [[fallthrough]];
        case NodeType::Text:
        case NodeType::CData:
        case NodeType::Attribute:
            value_ = std::move(value);
            break;
        case NodeType::Element:
        case NodeType::Document:
        case NodeType::DocumentType:
            break;
    }
}

void Node::requireElement(const char* call) const {
    if (type_ != NodeType::Element)
        refuse(std::string(call) + " needs an element");
}

// Refuses every insertion that would make the written document ill-formed.
// `position` is where child will stand once it has left its current place;
// `replaced` is the child it takes the place of, if any.
void Node::checkInsert(Node* child, std::size_t position, const Node* replaced) const {
    if (!child)
        refuse("No node to insert");
    if (child->owner_ != owner_)
        refuse("The node belongs to another document");
    if (type_ != NodeType::Element && type_ != NodeType::Document) {
        refuse("Only elements and the document can have children");
    }
    if (child->type_ == NodeType::Attribute || child->type_ == NodeType::Document) {
        refuse("An attribute or a document cannot be a child");
    }
    for (const Node* n = this; n; n = n->parent_) {
        if (n == child)
            refuse("A node cannot become its own descendant");
    }
    const Node* first = nullptr;  // first child that stays
    for (const Node* n : children_) {
        if (n != child && n != replaced) {
            first = n;
            break;
        }
    }
    if (type_ == NodeType::Document) {
        if (child->type_ == NodeType::Text || child->type_ == NodeType::CData) {
            refuse("Text cannot stand outside the root element");
        }
        const bool otherElement = std::any_of(children_.begin(), children_.end(), [&](Node* n) {
            return n != child && n != replaced && n->type_ == NodeType::Element;
        });
        if (child->type_ == NodeType::Element && otherElement) {
            refuse("A document has only one root element");
        }
        // The document type comes once, before the root element.
        const auto before = [&](NodeType type) {
            for (std::size_t i = 0, k = 0; i < children_.size(); ++i) {
                const Node* n = children_[i];
                if (n == child || n == replaced)
                    continue;
                if (n->type_ == type)
                    return k < position;
                ++k;
            }
            return false;
        };
        const bool otherType = std::any_of(children_.begin(), children_.end(), [&](Node* n) {
            return n != child && n != replaced && n->type_ == NodeType::DocumentType;
        });
        if (child->type_ == NodeType::DocumentType && (otherType || before(NodeType::Element)))
            refuse("A document has one document type, before its root element");
        if (child->type_ == NodeType::Element && otherType && !before(NodeType::DocumentType))
            refuse("A document has one document type, before its root element");
    } else if (child->type_ == NodeType::DocumentType) {
        refuse("A document type can only be a child of the document");
    }
    const bool firstIsDeclaration = first && isDeclaration(first);
    if (isDeclaration(child)) {
        if (type_ != NodeType::Document || position != 0 || firstIsDeclaration) {
            refuse("The XML declaration can only be the first child of the document");
        }
    } else if (type_ == NodeType::Document && position == 0 && firstIsDeclaration) {
        refuse("Nothing can precede the XML declaration");
    }
}

void Node::detach() {
    if (!parent_)
        return;
    auto& list = type_ == NodeType::Attribute ? parent_->attributes_ : parent_->children_;
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(indexIn(list, this)));
    parent_ = nullptr;
}

Node* Node::insertBefore(Node* child, Node* ref) {
    std::size_t position = children_.size();
    if (ref) {
        if (ref->parent_ != this || ref->type_ == NodeType::Attribute) {
            refuse("The reference node is not a child of this node");
        }
        if (ref == child)
            return child;
        position = indexIn(children_, ref);
    }
    if (child && child->parent_ == this && indexIn(children_, child) < position)
        --position;
    checkInsert(child, position, nullptr);
    child->detach();
    children_.insert(children_.begin() + static_cast<std::ptrdiff_t>(position), child);
    child->parent_ = this;
    return child;
}

Node* Node::replaceChild(Node* child, Node* old) {
    if (!old || old->parent_ != this || old->type_ == NodeType::Attribute) {
        refuse("The node to replace is not a child of this node");
    }
    if (child == old)
        return old;
    std::size_t position = indexIn(children_, old);
    if (child && child->parent_ == this && indexIn(children_, child) < position)
        --position;
    checkInsert(child, position, old);
    child->detach();
    children_[indexIn(children_, old)] = child;
    child->parent_ = this;
    old->parent_ = nullptr;
    return old;
}

Node* Node::removeChild(Node* child) {
    if (!child || child->parent_ != this || child->type_ == NodeType::Attribute) {
        refuse("The node to remove is not a child of this node");
    }
    child->detach();
    return child;
}

// ---- attributes ------------------------------------------------------------

Node* Node::getAttributeNode(std::string_view name) const {
    for (Node* a : attributes_) {
        if (a->name_ == name)
            return a;
    }
    return nullptr;
}

Node* Node::getAttributeNodeNS(std::string_view uri, std::string_view name) const {
    for (Node* a : attributes_) {
        if (matchesNS(a, uri, name))
            return a;
    }
    return nullptr;
}

// An element never holds two attributes of one qualified name (that would
// not be well-formed), so setting a name that is there replaces that one,
// in its place, whatever namespace either has.
Node* Node::putAttribute(Node* attr, Node* existing) {
    attr->parent_ = this;
    if (!existing) {
        attributes_.push_back(attr);
        return nullptr;
    }
    attributes_[indexIn(attributes_, existing)] = attr;
    existing->parent_ = nullptr;
    return existing;
}

void Node::setAttribute(std::string_view name, std::string value) {
    setAttributeNS("", name, std::move(value));
}

void Node::setAttributeNS(std::string_view uri, std::string_view qualifiedName, std::string value) {
    requireElement("setAttribute");
    checkName(qualifiedName);
    if (Node* existing = getAttributeNode(qualifiedName)) {
        existing->uri_ = std::string(uri);
        existing->value_ = std::move(value);
        return;
    }
    putAttribute(owner_->make(NodeType::Attribute, qualifiedName, uri, value), nullptr);
}

Node* Node::setAttributeNode(Node* attr) {
    requireElement("setAttributeNode");
    if (!attr || attr->type_ != NodeType::Attribute)
        refuse("setAttributeNode needs an attribute");
    if (attr->owner_ != owner_)
        refuse("The node belongs to another document");
    if (attr->parent_ == this)
        return nullptr;
    if (attr->parent_)
        refuse("The attribute belongs to another element");
    return putAttribute(attr, getAttributeNode(attr->name_));
}

void Node::removeAttribute(std::string_view name) {
    if (Node* a = type_ == NodeType::Element ? getAttributeNode(name) : nullptr)
        a->detach();
}

void Node::removeAttributeNS(std::string_view uri, std::string_view name) {
    if (Node* a = type_ == NodeType::Element ? getAttributeNodeNS(uri, name) : nullptr) {
        a->detach();
    }
}

void Node::removeAttributeNode(Node* attr) {
    if (!attr || attr->type_ != NodeType::Attribute || attr->parent_ != this) {
        refuse("The attribute does not belong to this element");
    }
    attr->detach();
}

// ---- Document --------------------------------------------------------------

Document::Document() : Node(this, NodeType::Document, "#document", "", "") {}

Node* Document::make(NodeType type, std::string_view name, std::string_view uri,
                     std::string_view value) {
    // The constructor is protected; Document is a friend but make_unique is not.
    nodes_.push_back(std::unique_ptr<Node>(
        new Node(this, type, std::string(name), std::string(uri), std::string(value))));
    nodes_.back()->slot_ = nodes_.size() - 1;
    return nodes_.back().get();
}

void Document::destroy(Node* node, const std::function<void(const Node*)>& released) {
    if (!node || node == this || node->owner_ != this)
        refuse("Only a node of this document can be freed");
    if (node->parent_)
        refuse("A node in a tree cannot be freed");
    std::vector<Node*> doomed{node};
    for (std::size_t i = 0; i < doomed.size(); ++i) {
        const Node* n = doomed[i];
        doomed.insert(doomed.end(), n->attributes_.begin(), n->attributes_.end());
        doomed.insert(doomed.end(), n->children_.begin(), n->children_.end());
    }
    // Each takes the last one's place, so freeing costs the same however
    // many nodes the document holds.
    for (Node* n : doomed) {
        if (released)
            released(n);
        const std::size_t slot = n->slot_;
        if (slot + 1 != nodes_.size()) {
            nodes_[slot] = std::move(nodes_.back());
            nodes_[slot]->slot_ = slot;
        }
        nodes_.pop_back();
    }
}

Node* Document::createElement(std::string_view name) {
    return createElementNS("", name);
}

Node* Document::createElementNS(std::string_view uri, std::string_view qualifiedName) {
    checkName(qualifiedName);
    return make(NodeType::Element, qualifiedName, uri, "");
}

Node* Document::createAttribute(std::string_view name) {
    return createAttributeNS("", name);
}

Node* Document::createAttributeNS(std::string_view uri, std::string_view qualifiedName) {
    checkName(qualifiedName);
    return make(NodeType::Attribute, qualifiedName, uri, "");
}

Node* Document::createTextNode(std::string_view text) {
    return make(NodeType::Text, "#text", "", text);
}

Node* Document::createCDATASection(std::string_view text) {
    return make(NodeType::CData, "#cdata-section", "", text);
}

Node* Document::createProcessingInstruction(std::string_view target, std::string_view data) {
    checkName(target);
    checkInstructionData(data);
    return make(NodeType::ProcessingInstruction, target, "", data);
}

Node* Document::createDocumentType(std::string_view name) {
    checkName(name);
    return make(NodeType::DocumentType, name, "", "");
}

Node* Document::documentElement() const {
    for (Node* n : childNodes()) {
        if (n->nodeType() == NodeType::Element)
            return n;
    }
    return nullptr;
}

}  // namespace pagelume::xml::dom
