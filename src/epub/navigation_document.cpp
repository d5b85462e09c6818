#include "epub/navigation_document.h"

#include "platform/locale.h"
#include "epub/book_document.h"
#include "xml/xml_document.h"

namespace pagelume::epub {

namespace {

constexpr const char* kNcxNamespace = "http://www.daisy.org/z3986/2005/ncx/";

// One entry of the table of contents: its label, then what it points at.
void addNavPoint(xml::TXMLNode* navMap, const std::string& id, int playOrder,
                 const std::string& label, const std::string& src) {
    xml::TXMLNode* navPoint = navMap->AddElement("navPoint");
    navPoint->SetAttrNS("id", "", id);
    navPoint->SetAttrNS("playOrder", "", std::to_string(playOrder));
    navPoint->AddElement("navLabel")->AddElement("text")->SetTextContent(label);
    navPoint->AddElement("content")->SetAttrNS("src", "", src);
}

}  // namespace

// Built in reading order, like the package document; every element is in
// the NCX namespace, declared once on the root.
void writeNavigationDocument(const BookSource& book, const std::string& contentDir,
                             const BookLayout& layout, const char* pageExtension) {
    xml::TXMLDocument doc;
    openBookDocument(doc);
    // Written as it is built: a long book's pages never stand in memory whole.
    doc.StreamTo(contentDir + "/fb.ncx");

    xml::TXMLNode* ncx = doc.DocNode()->AddElementNS("ncx", kNcxNamespace);
    doc.MakeDocumentElement(ncx);
    ncx->SetAttrNS("version", "", "2005-1");
    ncx->SetAttrNS("xml:lang", "", platform::languageTag());

    xml::TXMLNode* head = ncx->AddElement("head");
    // Fixed for every book, whatever its length; a strict book's uid is the
    // package's identifier, as it must be.
    const std::string uid = layout.strict ? layout.identifier : "a9781455504428";
    for (const auto& [name, content] : {std::pair{"dtb:uid", uid.c_str()},
                                        {"dtb:depth", "1"},
                                        {"dtb:totalPageCount", "0"},
                                        {"dtb:maxPageNumber", "0"}}) {
        xml::TXMLNode* meta = head->AddElement("meta");
        meta->SetAttrNS("name", "", name);
        meta->SetAttrNS("content", "", content);
    }

    ncx->AddElement("docTitle")->AddElement("text")->SetTextContent(book.title());
    ncx->AddElement("docAuthor")->AddElement("text")->SetTextContent(book.author());

    xml::TXMLNode* navMap = ncx->AddElement("navMap");
    // A strict book's contents read as the images' alternative texts do.
    int k = 0;
    if (layout.coverName) {
        addNavPoint(navMap, "cover", 1, layout.strict ? "Cover" : "cover",
                    "cover" + std::string(pageExtension));
        k = 1;
    }
    for (int n = 1; n <= layout.pageCount; ++n) {
        const std::string page = "page" + std::to_string(n);
        const std::string label = layout.strict ? "Page " + std::to_string(n) : page;
        addNavPoint(navMap, page, n + k, label, page + pageExtension);
    }

    doc.SaveDocument(contentDir + "/fb.ncx");
}

}  // namespace pagelume::epub
