#include <gtest/gtest.h>

#include <filesystem>

#include "support/tempdir.h"
#include "xml/xml_document.h"

using namespace pagelume::xml;
using pagelume::test::readFile;
using pagelume::test::TempDir;
using pagelume::test::writeFile;

namespace {

constexpr const char* kOpf = "http://www.idpf.org/2007/opf";
constexpr const char* kDc = "http://purl.org/dc/elements/1.1/";
const std::string kTricky = "Tom & Jerry <\"1\"> ]]> \xC3\x84pfel\r\n\tnext \x01 \xFF";

struct OpenDocument : TXMLDocument {
    OpenDocument() { SetActive(true); }
};

// What a book's documents hold: a declaration, maybe a document type, a
// namespaced root, metadata with prefixes and escaping, then entries nested
// in chapters two levels deep, and an empty element after them. Returns the
// list of entries, still open.
TXMLNode* buildHead(TXMLDocument& doc, int pages, bool doctype) {
    doc.SetDeclStandalone("yes");
    doc.SetDeclVersion("1.0");
    doc.SetDeclEncoding("UTF-8");
    doc.SetNodeIndentStr("\t");
    auto options = doc.Options();
    options += doNodeAutoIndent;
    doc.SetOptions(options);
    if (doctype)
        doc.DocNode()->ChildNodes().Add(doc.CreateNode("html", ntDocType));
    TXMLNode* root = doc.DocNode()->AddElementNS("package", kOpf);
    doc.MakeDocumentElement(root);
    root->SetAttrNS("version", "", "2.0");
    TXMLNode* metadata = root->AddElementNS("metadata", root->NodeNamespace());
    metadata->DeclarePrefix("dc", kDc);
    metadata->AddElement("dc:title")->SetTextContent(kTricky);
    metadata->AddElement("dc:subject")->SetTextContent("");
    metadata->AddElement("meta")->SetAttr("content", kTricky);
    TXMLNode* navMap = root->AddElement("navMap");
    TXMLNode* chapter = nullptr;
    for (int n = 1; n <= pages; ++n) {
        const std::string number = std::to_string(n);
        if (n % 3 == 1) {
            chapter = navMap->AddElement("navPoint");
            chapter->SetAttr("id", "chapter" + number);
            chapter->AddElement("navLabel")->AddElement("text")->SetTextContent("<" + number + ">");
        }
        TXMLNode* point = chapter->AddElement("navPoint");
        point->SetAttr("id", "page" + number);
        point->AddElement("navLabel")->AddElement("text")->SetTextContent("page" + number);
        point->AddElement("content")->SetAttr("src", "page" + number + ".html?a&b");
        if (n % 5 == 0)
            point->ChildNodes().Add(doc.CreateNode("keep ]]> <this>", ntCData));
    }
    return navMap;
}

void buildTail(TXMLDocument& doc) {
    doc.DocumentElement()->AddElement("guide");
}

}  // namespace

// The tree's own writer is the oracle: a streamed document must come out
// byte for byte the same, at every size and nesting, while holding only
// what follows the last element added.
TEST(XMLStream, WritesTheBytesTheTreeWriterWritesAndFreesWhatIsWritten) {
    TempDir dir;
    for (const bool doctype : {false, true}) {
        for (const int pages : {0, 1, 4, 3000}) {
            SCOPED_TRACE("doctype " + std::to_string(doctype) + ", " + std::to_string(pages));
            OpenDocument tree;
            buildHead(tree, pages, doctype);
            buildTail(tree);
            const std::string expected = tree.SaveToXML();

            const std::string path = dir / "streamed.xml";
            OpenDocument streamed;
            streamed.StreamTo(path);
            TXMLNode* navMap = buildHead(streamed, pages, doctype);
            EXPECT_LE(navMap->ChildNodes().Count(), 4);  // the last chapter and its indent
            buildTail(streamed);
            streamed.SaveDocument(path);
            EXPECT_EQ(readFile(path), expected);
            EXPECT_EQ(streamed.DocNode()->ChildNodes().Count(), 0);
        }
    }
}

TEST(XMLStream, RefusesChangesToWhatIsWrittenAndLeavesNoFileUnsaved) {
    TempDir dir;
    const std::string path = dir / "out.xml";
    writeFile(path, "old");
    {
        OpenDocument doc;
        doc.StreamTo(path);
        TXMLNode* navMap = buildHead(doc, 3000, false);  // past what is kept unwritten
        TXMLNode* root = doc.DocumentElement();
        const auto refused = [](auto change, const std::string& message) {
            try {
                change();
                ADD_FAILURE() << "no exception, expected \"" << message << "\"";
            } catch (const EXMLDocError& e) {
                EXPECT_EQ(e.what(), message);
            }
        };
        refused([&] { root->SetAttr("late", "x"); },
                "The start tag of <package> is written already");
        refused([&] { navMap->DeclarePrefix("x", kDc); },
                "The start tag of <navMap> is written already");
        refused([&] { doc.SetDeclVersion("1.0"); }, "The XML declaration is written already");
        refused([&] { doc.SaveToXML(); }, "The document is being saved to " + path);
        refused([&] { doc.SaveDocument(dir / "other.xml"); },
                "The document is being saved to " + path);
        refused([&] { navMap->ChildNodes().Add(root); },
                "The start tag of <package> is written already");
    }  // closed unsaved
    EXPECT_EQ(readFile(path), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}
