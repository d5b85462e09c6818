#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "support/tempdir.h"
#include "xml/dom.h"
#include "xml/minidom_oracle.h"

using namespace pagelume::xml;
using namespace pagelume::xml::dom;
using pagelume::test::parseWithMinidom;
using pagelume::test::readFile;
using pagelume::test::TempDir;
using pagelume::test::writeFile;

namespace {

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(DomWriter, EscapesTextAndAttributesSoTheyReadBackUnchanged) {
    TempDir dir;
    Document doc;
    Node* root = doc.appendChild(doc.createElement("r"));
    const std::string tricky = "Tom & Jerry <\"1\"> 'x' ]]> \xC3\x84pfel\r\nnext\tline";
    root->setAttribute("a", tricky);
    root->appendChild(doc.createTextNode(tricky));
    Node* cdata = root->appendChild(doc.createElement("c"));
    cdata->appendChild(doc.createCDATASection("keep <this> ]]> and ]]]]>"));

    const std::string xml = serialize(doc);
    EXPECT_NE(xml.find(R"(a="Tom &amp; Jerry &lt;&quot;1&quot;&gt; 'x' ]]&gt; )"
                       "\xC3\x84pfel&#13;&#10;next&#9;line\">"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("Tom &amp; Jerry &lt;\"1\"&gt; 'x' ]]&gt; \xC3\x84pfel\r\nnext\tline<c>"),
              std::string::npos)
        << xml;

    writeFile(dir / "t.xml", xml);
    auto parsed = parseWithMinidom(dir / "t.xml");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.value("a", true), tricky);  // CR, LF and TAB survive in attributes
    EXPECT_EQ(parsed.value("c"), "keep <this> ]]> and ]]]]>");
    // Text keeps everything but CR, which every XML reader folds into LF.
    EXPECT_EQ(parsed.value("r"), "Tom & Jerry <\"1\"> 'x' ]]> \xC3\x84pfel\nnext\tline");
}

TEST(DomWriter, CharactersXmlCannotCarryBecomeReplacementCharacters) {
    TempDir dir;
    Document doc;
    Node* root = doc.appendChild(doc.createElement("r"));
    // A control character, a stray byte, a truncated sequence, an overlong
    // slash, an encoded surrogate and U+FFFF.
    const std::string bad =
        "a\x01"
        "b\xFF"
        "c\xC3"
        "d\xC0\xAF"
        "e\xED\xA0\x80"
        "f\xEF\xBF\xBF";
    root->setAttribute("v", bad);
    root->appendChild(doc.createTextNode(bad));
    root->appendChild(doc.createProcessingInstruction("pi", bad));

    const std::string xml = serialize(doc);
    writeFile(dir / "t.xml", xml);
    auto parsed = parseWithMinidom(dir / "t.xml");
    ASSERT_TRUE(parsed.ok) << parsed.error << "\n" << xml;
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(parsed.value("v", true),
              "a" + r + "b" + r + "c" + r + "d" + r + r + "e" + r + r + r + "f" + r);
}

TEST(DomWriter, DocumentLayoutAndEmptyElements) {
    Document doc;
    doc.appendChild(doc.createProcessingInstruction("xml", "version=\"1.0\""));
    Node* root = doc.appendChild(doc.createElement("r"));
    root->appendChild(doc.createElement("empty"));
    root->appendChild(doc.createElement("blank"))->appendChild(doc.createTextNode(""));
    root->appendChild(doc.createProcessingInstruction("bare", ""));
    doc.appendChild(doc.createProcessingInstruction("after", "x"));
    EXPECT_EQ(serialize(doc),
              "<?xml version=\"1.0\"?>\r\n<r><empty/><blank></blank><?bare?></r>\r\n<?after x?>");

    // We write UTF-8 only and will not claim anything else.
    Document latin;
    latin.appendChild(
        latin.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"ISO-8859-1\""));
    EXPECT_THROW(serialize(latin), EDOMError);
}

// An HTML page's document type: once, after the declaration, before the
// root, and nowhere else; an outside parser reads the page with it.
TEST(DomWriter, DocumentTypeStandsOnceBeforeTheRoot) {
    Document doc;
    Node* root = doc.appendChild(doc.createElement("html"));
    Node* type = doc.createDocumentType("html");
    EXPECT_THROW(doc.appendChild(type), EDOMError);  // after the root
    EXPECT_THROW(root->appendChild(type), EDOMError);
    doc.insertBefore(type, root);
    EXPECT_THROW(doc.insertBefore(doc.createDocumentType("html"), root), EDOMError);
    EXPECT_THROW(doc.replaceChild(doc.createElement("x"), type), EDOMError);
    EXPECT_THROW(doc.createDocumentType("a b"), EDOMError);
    doc.insertBefore(doc.createProcessingInstruction("xml", "version=\"1.0\""), type);
    const std::string text = serialize(doc);
    EXPECT_EQ(text, "<?xml version=\"1.0\"?>\r\n<!DOCTYPE html>\r\n<html/>");
    TempDir dir;
    writeFile(dir / "page.xhtml", text);
    EXPECT_TRUE(parseWithMinidom(dir / "page.xhtml").ok);
}

TEST(DomWriter, DeepTreesDoNotExhaustTheStack) {
    Document doc;
    Node* top = doc.createElement("d");
    for (int i = 0; i < 200000; ++i) {
        Node* parent = doc.createElement("d");
        parent->appendChild(top);
        top = parent;
    }
    doc.appendChild(top);
    EXPECT_EQ(serialize(doc).size(), 200000u * 7 + 4);
}

TEST(Dom, RefusesWhatWouldNotBeWellFormed) {
    Document doc;
    Node* root = doc.appendChild(doc.createElement("r"));
    Node* child = root->appendChild(doc.createElement("c"));
    Node* text = doc.createTextNode("t");

    for (const char* name : {"", "1a", "a b", "a<b", "a\"", "-a", "a\xFF"}) {
        EXPECT_THROW(doc.createElement(name), EDOMError) << name;
        EXPECT_THROW(root->setAttribute(name, "v"), EDOMError) << name;
    }
    EXPECT_NO_THROW(doc.createElementNS("urn:x", "\xC3\xA9t\xC3\xA9:a-1.b_c"));

    EXPECT_THROW(doc.appendChild(doc.createElement("second")), EDOMError);
    EXPECT_THROW(doc.appendChild(text), EDOMError);
    EXPECT_THROW(child->appendChild(root), EDOMError);  // a cycle
    EXPECT_THROW(child->appendChild(child), EDOMError);
    EXPECT_THROW(text->appendChild(doc.createElement("x")), EDOMError);
    EXPECT_THROW(doc.createProcessingInstruction("p", "a?>b"), EDOMError);
    Node* pi = root->appendChild(doc.createProcessingInstruction("p", "ok"));
    EXPECT_THROW(pi->setNodeValue("?>"), EDOMError);
    EXPECT_EQ(pi->nodeValue(), "ok");

    // The declaration can only open the document, once.
    Node* decl = doc.createProcessingInstruction("xml", "version=\"1.0\"");
    EXPECT_THROW(root->appendChild(decl), EDOMError);
    EXPECT_THROW(doc.appendChild(decl), EDOMError);
    doc.insertBefore(decl, root);
    EXPECT_THROW(doc.insertBefore(doc.createProcessingInstruction("p", ""), decl), EDOMError);
    EXPECT_THROW(doc.insertBefore(doc.createProcessingInstruction("XML", ""), decl), EDOMError);

    Document other;
    EXPECT_THROW(root->appendChild(other.createElement("x")), EDOMError);
    EXPECT_EQ(serialize(doc), "<?xml version=\"1.0\"?>\r\n<r><c/><?p ok?></r>");
}

TEST(Dom, AttributesAreUniqueByNameAndKeepTheirPlace) {
    Document doc;
    Node* e = doc.appendChild(doc.createElement("e"));
    e->setAttribute("a", "1");
    e->setAttributeNS("urn:x", "p:b", "2");
    e->setAttribute("p:b", "3");  // the same qualified name, now without namespace
    e->setAttributeNS("urn:y", "a", "4");
    ASSERT_EQ(e->attributes().size(), 2u);
    EXPECT_EQ(e->attributes()[0]->namespaceURI(), "urn:y");
    EXPECT_EQ(e->attributes()[1]->nodeValue(), "3");
    EXPECT_EQ(e->attributes()[1]->prefix(), "p");
    EXPECT_EQ(e->attributes()[1]->localName(), "b");

    e->setAttributeNS("", "xml:lang", "en");
    e->setAttributeNS("", "my:lang", "de");
    e->removeAttributeNS("", "my:lang");
    ASSERT_NE(e->getAttributeNode("xml:lang"), nullptr);
    EXPECT_EQ(e->getAttributeNode("my:lang"), nullptr);
    e->removeAttributeNS("urn:y", "a");
    EXPECT_EQ(serialize(doc), R"(<e p:b="3" xml:lang="en"/>)");
}

TEST(DomSave, ReplacesTheFileWholeOrLeavesEverythingAsItWas) {
    TempDir dir;
    Document doc;
    doc.appendChild(doc.createElement("new"));

    writeFile(dir / "out.xml", "old contents that are longer");
    save(doc, dir / "out.xml");
    EXPECT_EQ(readFile(dir / "out.xml"), "<new/>");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"out.xml"});

    // A missing folder: the message names the file and the system's reason.
    const std::string missing = dir / "no/such/folder/fb.opf";
    try {
        save(doc, missing);
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const pagelume::Exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot save \"" + missing + "\": No such file or directory");
    }

    // The rename fails (the target is a folder): no temporary file is left.
    std::filesystem::create_directory(dir / "taken");
    EXPECT_THROW(save(doc, dir / "taken"), EDOMError);
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"out.xml", "taken"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "taken"));
    EXPECT_THROW(save(doc, ""), EDOMError);
}
