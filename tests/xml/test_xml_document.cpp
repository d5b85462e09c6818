#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "support/tempdir.h"
#include "xml/minidom_oracle.h"
#include "xml/xml_document.h"

using namespace pagelume::xml;
using pagelume::test::parseWithMinidom;
using pagelume::test::readFile;
using pagelume::test::TempDir;

namespace {

constexpr const char* kOpf = "http://www.idpf.org/2007/opf";
constexpr const char* kDc = "http://purl.org/dc/elements/1.1/";

std::string golden(const std::string& name) {
    return readFile(PAGELUME_SOURCE_DIR "/tests/xml/golden/" + name);
}

struct OpenDocument : TXMLDocument {
    OpenDocument() { SetActive(true); }
    void set(TXMLDocOption option, bool on) {
        auto options = Options();
        on ? options += option : options -= option;
        SetOptions(options);
    }
};

std::vector<std::string> attributeNames(TXMLNode* node) {
    std::vector<std::string> names;
    for (int i = 0; i < node->Attributes().Count(); ++i) {
        names.push_back(node->Attributes()[i]->NodeName());
    }
    return names;
}

template <typename F>
void expectXMLDocError(F f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected \"" << message << "\"";
    } catch (const EXMLDocError& e) {
        EXPECT_EQ(e.what(), message);
        EXPECT_STREQ(e.className(), "EXMLDocError");
    }
}

}  // namespace

TEST(XMLDocument, WorkedExampleTreeAndFile) {
    TempDir dir;
    OpenDocument doc;
    doc.SetDeclStandalone("yes");
    doc.SetDeclVersion("1.0");
    doc.SetDeclEncoding("UTF-8");
    doc.SetNodeIndentStr("\t");
    doc.set(doNodeAutoIndent, true);
    TXMLNode* r = doc.DocNode()->AddElementNS("package", kOpf);
    doc.MakeDocumentElement(r);
    r->SetAttrNS("version", "", "2.0");
    TXMLNode* m = r->AddElementNS("metadata", r->NodeNamespace());
    m->DeclarePrefix("", kOpf);
    m->DeclarePrefix("dc", kDc);
    m->DeclarePrefix("opf", kOpf);
    EXPECT_EQ(m->Attributes().RemoveNamed("xmlns", ""), 0);
    TXMLNode* t = m->AddElement("dc:title");
    t->SetTextContent("Title");
    TXMLNode* a = m->AddElement("dc:creator");
    a->SetAttr("opf:role", "aut");
    a->SetTextContent("");
    r->AddElement("spine")->SetAttr("toc", "ncx");

    // Indent nodes are ordinary text children, a line break and the next
    // child's indent staying two nodes.
    const std::vector<std::string> rChildren = {"\r\n", "\t",    "metadata", "\r\n",
                                                "\t",   "spine", "\r\n"};
    std::vector<std::string> seen;
    for (int i = 0; i < r->ChildNodes().Count(); ++i) {
        TXMLNode* c = r->ChildNodes()[i];
        seen.push_back(c->NodeType() == ntText ? c->NodeValue() : c->NodeName());
    }
    EXPECT_EQ(seen, rChildren);
    EXPECT_EQ(r->ParentNode(), doc.DocNode());
    EXPECT_EQ(m->ChildNodes()[0]->NodeValue(), "\r\n\t");
    EXPECT_EQ(t->NodeNamespace(), kDc);
    EXPECT_EQ(a->ChildNodes().Count(), 1);

    doc.SaveDocument(dir / "example.xml");
    EXPECT_EQ(readFile(dir / "example.xml"), golden("worked_example.xml"));

    auto parsed = parseWithMinidom(dir / "example.xml");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.ns("metadata"), kOpf);
    EXPECT_EQ(parsed.ns("spine"), kOpf);
    EXPECT_EQ(parsed.ns("dc:creator"), kDc);
    EXPECT_EQ(parsed.ns("opf:role", true), kOpf);
}

TEST(XMLDocument, IndentsEachLevelAndKeepsTextOnItsLine) {
    OpenDocument doc;
    doc.SetNodeIndentStr("\t");
    doc.set(doNodeAutoIndent, true);
    TXMLNode* r = doc.DocNode()->AddElement("R");
    r->AddElement("A")->AddElement("B")->SetTextContent("x");
    r->AddElement("C");
    EXPECT_EQ(doc.SaveToXML(), golden("indentation.xml"));

    // The default unit is two blanks, and without the option nothing is added.
    OpenDocument plain;
    EXPECT_EQ(plain.NodeIndentStr(), "  ");
    plain.DocNode()->AddElement("R")->AddElement("A")->AddElement("B");
    EXPECT_EQ(plain.SaveToXML(), "<R><A><B/></A></R>");
}

TEST(XMLDocument, DeclarationIsTheSameInAnyOrderAndStaysSingle) {
    const std::string decl = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)";
    std::array<int, 3> order = {0, 1, 2};
    do {
        OpenDocument doc;
        for (int item : order) {
            item == 0   ? doc.SetDeclStandalone("yes")
            : item == 1 ? doc.SetDeclVersion("1.0")
                        : doc.SetDeclEncoding("UTF-8");
        }
        doc.DocNode()->AddElement("r");
        EXPECT_EQ(doc.SaveToXML(), decl + "\r\n<r/>");
    } while (std::next_permutation(order.begin(), order.end()));

    OpenDocument doc;
    doc.DocNode()->AddElement("r");
    doc.SetDeclStandalone("yes");  // goes before the root
    EXPECT_EQ(doc.DocNode()->ChildNodes()[0]->NodeValue(), R"(version="1.0" standalone="yes")");
    doc.SetDeclStandalone("");  // an empty item is left out
    EXPECT_EQ(doc.DocNode()->ChildNodes()[0]->NodeValue(), R"(version="1.0")");
    EXPECT_EQ(doc.DocNode()->ChildNodes().Count(), 2);
    EXPECT_EQ(doc.DeclEncoding(), "");
    EXPECT_THROW(doc.SetDeclEncoding("UTF-8\" x=\"y"), EXMLDocError);
}

TEST(XMLDocument, ElementNamespacesAndDeclarations) {
    OpenDocument doc;
    TXMLNode* root = doc.DocNode()->AddElementNS("root", kOpf);
    root->SetAttr("b", "1");
    EXPECT_EQ(attributeNames(root), (std::vector<std::string>{"xmlns", "b"}));

    // Same URI as a default declaration in scope: no prefix, no declaration.
    TXMLNode* same = root->AddElementNS("same", kOpf);
    EXPECT_EQ(same->NodeName(), "same");
    EXPECT_EQ(same->Attributes().Count(), 0);

    // A URI declared under a prefix (in another letter case) takes the prefix.
    root->DeclarePrefix("dc", "HTTP://PURL.ORG/dc/elements/1.1/");
    TXMLNode* title = same->AddElementNS("title", kDc);
    EXPECT_EQ(title->NodeName(), "dc:title");
    EXPECT_EQ(title->NodeNamespace(), kDc);
    EXPECT_EQ(title->Attributes().Count(), 0);

    // An unprefixed AddElement below a prefixed element inherits both.
    TXMLNode* sub = title->AddElement("sub");
    EXPECT_EQ(sub->NodeName(), "dc:sub");
    EXPECT_EQ(sub->NodeNamespace(), kDc);

    // A prefix resolves through the declarations in scope, or not at all.
    EXPECT_EQ(same->AddElement("dc:x")->NodeNamespace(), "HTTP://PURL.ORG/dc/elements/1.1/");
    TXMLNode* unbound = same->AddElement("zz:x");
    EXPECT_EQ(unbound->NodeName(), "zz:x");
    EXPECT_EQ(unbound->NodeNamespace(), "");

    // A new URI is declared on the new element: its own prefix, a generated
    // one that skips prefixes in use, or as the default namespace.
    EXPECT_EQ(attributeNames(same->AddElementNS("q:e", "urn:q")),
              std::vector<std::string>{"xmlns:q"});
    root->DeclarePrefix("NS1", "urn:taken");
    TXMLNode* generated = same->AddElementNS("e", "urn:g", true);
    EXPECT_EQ(generated->NodeName(), "NS2:e");
    EXPECT_EQ(generated->GetAttr("xmlns:NS2"), "urn:g");
    EXPECT_EQ(attributeNames(same->AddElementNS("e", "urn:d")), std::vector<std::string>{"xmlns"});

    doc.set(doNamespaceDecl, false);
    EXPECT_EQ(same->AddElementNS("e", "urn:none")->Attributes().Count(), 0);

    // The declarations made it into the file: an outside parser agrees
    // (once the element with an undeclared prefix is gone).
    TempDir dir;
    EXPECT_EQ(same->ChildNodes().Remove(unbound), 2);
    doc.SaveDocument(dir / "ns.xml");
    auto parsed = parseWithMinidom(dir / "ns.xml");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.ns("same"), kOpf);
    EXPECT_EQ(parsed.ns("dc:sub"), "HTTP://PURL.ORG/dc/elements/1.1/");
    EXPECT_EQ(parsed.ns("NS2:e"), "urn:g");
    EXPECT_EQ(parsed.ns("q:e"), "urn:q");
}

TEST(XMLDocument, PrefixLookupDeclarationSearchAndQualifiedNames) {
    OpenDocument doc;
    TXMLNode* root = doc.DocNode()->AddElement("root");
    root->DeclarePrefix("p", "urn:outer");
    root->DeclarePrefix("", "urn:default");
    TXMLNode* inner = root->AddElement("inner");
    inner->DeclarePrefix("p", "");  // empty: the search goes on upwards
    inner->DeclarePrefix("q", "urn:Inner");

    EXPECT_EQ(inner->LookupPrefixURI("p"), "urn:outer");
    EXPECT_EQ(inner->LookupPrefixURI("q"), "urn:Inner");
    EXPECT_EQ(inner->LookupPrefixURI("Q"), "");  // prefixes match exactly
    EXPECT_EQ(inner->LookupPrefixURI("xmlns"), "");

    ASSERT_NE(inner->FindDeclaration("URN:INNER"), nullptr);
    EXPECT_EQ(inner->FindDeclaration("URN:INNER")->NodeName(), "xmlns:q");
    EXPECT_EQ(inner->FindDeclaration("urn:default")->NodeName(), "xmlns");
    EXPECT_EQ(inner->FindDeclaration("urn:nowhere"), nullptr);

    EXPECT_EQ(inner->QualifyName("a", "urn:inner"), "q:a");
    EXPECT_EQ(inner->QualifyName("a", "urn:default"), "a");  // default: no prefix
    EXPECT_EQ(inner->QualifyName("x:a", "urn:inner"), "x:a");
    EXPECT_EQ(inner->QualifyName("a", "urn:nowhere"), "a");
    doc.set(doAutoPrefix, false);
    EXPECT_EQ(inner->QualifyName("a", "urn:inner"), "a");
}

TEST(XMLDocument, AttributesKeepFirstSetOrderNullRemovesAndReads) {
    OpenDocument doc;
    TXMLNode* e = doc.DocNode()->AddElement("e");
    e->DeclarePrefix("opf", kOpf);
    e->SetAttr("a", "1");
    e->SetAttr("b", "2");
    e->SetAttr("a", "3");
    e->SetAttr("opf:role", "aut");  // by name only: no namespace looked up
    e->SetAttrNS("scheme", kOpf, "ISBN");
    e->SetAttrNS("xml:lang", "", "de-DE");
    EXPECT_EQ(attributeNames(e), (std::vector<std::string>{"xmlns:opf", "a", "b", "opf:role",
                                                           "opf:scheme", "xml:lang"}));
    EXPECT_EQ(e->GetAttr("a"), "3");
    EXPECT_EQ(e->Attributes().FindNode("opf:role")->NodeNamespace(), "");
    EXPECT_EQ(e->Attributes().FindNode("opf:scheme")->NodeNamespace(), kOpf);
    EXPECT_EQ(e->Attributes().FindNode("xml:lang")->NodeNamespace(), "");

    e->SetAttr("a", std::nullopt);
    e->SetAttrNS("scheme", kOpf, std::nullopt);
    e->SetAttrNS("xml:lang", "", std::nullopt);
    EXPECT_EQ(attributeNames(e), (std::vector<std::string>{"xmlns:opf", "b", "opf:role"}));

    // Reads: a missing attribute is null with doAttrNull, else ""; a missing
    // child is made with doNodeAutoCreate (both on by default).
    EXPECT_EQ(e->GetAttr("a"), std::nullopt);
    TXMLNode* made = e->ChildNodes().Nodes("child");
    EXPECT_EQ(e->ChildNodes().Nodes("child"), made);
    doc.set(doAttrNull, false);
    doc.set(doNodeAutoCreate, false);
    EXPECT_EQ(e->GetAttr("a"), "");
    EXPECT_EQ(e->ChildNodes().Nodes("other"), nullptr);
    EXPECT_EQ(e->ChildNodes().Count(), 1);
}

TEST(XMLDocument, RemoveNamed) {
    OpenDocument doc;
    TXMLNode* e = doc.DocNode()->AddElement("e");
    e->DeclarePrefix("dc", kDc);
    e->SetAttr("a", "1");
    EXPECT_EQ(e->Attributes().RemoveNamed("xmlns", ""), -1);  // xmlns:dc never matches
    EXPECT_EQ(e->Attributes().Count(), 2);

    e->DeclarePrefix("", kOpf);
    EXPECT_EQ(e->Attributes().RemoveNamed("xmlns", ""), 2);
    EXPECT_EQ(attributeNames(e), (std::vector<std::string>{"xmlns:dc", "a"}));

    // By local name within a namespace, the URI compared without case.
    EXPECT_EQ(e->Attributes().RemoveNamed("dc", "http://www.w3.org/2000/XMLNS/"), 0);
    EXPECT_EQ(e->Attributes().RemoveNamed("A", ""), -1);
    EXPECT_EQ(e->Attributes().RemoveNamed("a", "urn:other"), -1);
    EXPECT_EQ(e->Attributes().RemoveNamed("a", ""), 0);
    EXPECT_EQ(e->Attributes().Count(), 0);
    EXPECT_EQ(doc.SaveToXML(), "<e/>");
}

TEST(XMLDocument, SetTextContent) {
    OpenDocument doc;
    doc.set(doNodeAutoIndent, true);
    TXMLNode* root = doc.DocNode()->AddElement("r");
    TXMLNode* empty = root->AddElement("empty");
    empty->SetTextContent("");
    TXMLNode* bare = root->AddElement("bare");
    TXMLNode* text = root->AddElement("text");
    text->SetTextContent("old");
    text->SetTextContent("new");

    ASSERT_EQ(empty->ChildNodes().Count(), 1);
    EXPECT_EQ(empty->ChildNodes()[0]->NodeType(), ntText);
    EXPECT_FALSE(bare->HasChildNodes());
    EXPECT_EQ(text->ChildNodes().Count(), 1);
    EXPECT_EQ(doc.SaveToXML(),
              "<r>\r\n  <empty></empty>\r\n  <bare/>\r\n  <text>new</text>\r\n</r>");

    // An element with element children (and so indent nodes) has no single text.
    const int before = root->ChildNodes().Count();
    expectXMLDocError([&] { root->SetTextContent("x"); },
                      "Element does not contain a single text node");
    EXPECT_EQ(root->ChildNodes().Count(), before);

    // On other nodes the node's own value is set.
    text->SetAttr("a", "1");
    text->Attributes()[0]->SetTextContent("2");
    EXPECT_EQ(text->GetAttr("a"), "2");
}

TEST(XMLDocument, ErrorsAndDefaults) {
    TXMLDocument doc;
    EXPECT_EQ(doc.Options().bits(), 0x1D);
    EXPECT_FALSE(doc.Active());
    expectXMLDocError([&] { doc.DocNode(); }, "No active document");
    expectXMLDocError([&] { doc.SaveDocument("x.xml"); }, "No active document");
    expectXMLDocError([&] { doc.SetDeclVersion("1.0"); }, "No active document");

    doc.SetParseOptions({poPreserveWhiteSpace});
    expectXMLDocError([&] { doc.SetActive(true); },
                      "DOM Implementation does not support IDOMParseOptions");
    EXPECT_FALSE(doc.Active());
    doc.SetParseOptions({});
    doc.XML().push_back("<a/>");  // there is no parser to load it with
    EXPECT_THROW(doc.SetActive(true), EXMLDocError);
    doc.XML().clear();

    doc.SetActive(true);
    for (TNodeType type : {ntComment, ntDocument, ntEntityRef, ntReserved}) {
        expectXMLDocError([&] { doc.CreateNode("x", type); }, "Invalid node type");
    }
    // A document type is made (for HTML pages), but not placed inside an element.
    TXMLNode* docType = doc.CreateNode("html", ntDocType);
    EXPECT_EQ(docType->NodeType(), ntDocType);
    TXMLNode* root = doc.DocNode()->AddElement("r");
    TXMLNode* text = doc.CreateNode("t", ntText);
    root->ChildNodes().Add(text);
    expectXMLDocError([&] { text->SetAttr("a", "1"); }, "Invalid node type");
    expectXMLDocError([&] { root->Attributes().Add(text); }, "Invalid node type");

    // Closing releases the tree; nothing is saved and the document can reopen.
    doc.SetActive(false);
    expectXMLDocError([&] { doc.SaveToXML(); }, "No active document");
    doc.SetActive(true);
    EXPECT_EQ(doc.DocNode()->ChildNodes().Count(), 0);
}

TEST(XMLDocument, MakeDocumentElementKeepsOrReplacesTheRoot) {
    OpenDocument doc;
    doc.SetDeclVersion("1.0");
    TXMLNode* first = doc.DocNode()->AddElement("first");
    doc.MakeDocumentElement(first);
    EXPECT_EQ(doc.DocNode()->ChildNodes().IndexOf(first), 1);
    EXPECT_EQ(first->ParentNode(), doc.DocNode());

    TXMLNode* second = doc.CreateNode("second");
    doc.MakeDocumentElement(second);
    EXPECT_EQ(doc.DocumentElement(), second);
    EXPECT_EQ(first->ParentNode(), nullptr);
    EXPECT_EQ(doc.SaveToXML(), "<?xml version=\"1.0\"?>\r\n<second/>");
    // A second root is refused by the DOM, not written.
    EXPECT_THROW(doc.DocNode()->AddElement("third"), EDOMError);
}
