#include "epub/navigation_document.h"

#include "epub/book_details.h"
#include "epub/book_document.h"
#include "xml/xml_document.h"

namespace pagelume::epub {

namespace {

constexpr const char* kNcxNamespace = "http://www.daisy.org/z3986/2005/ncx/";

// One entry of the table of contents: its label, then what it points at.
// A chapter's entry holds the entries of its pages after these.
xml::TXMLNode* addNavPoint(xml::TXMLNode* parent, const std::string& id, int playOrder,
                           const std::string& label, const std::string& src) {
    xml::TXMLNode* navPoint = parent->AddElement("navPoint");
    navPoint->SetAttrNS("id", "", id);
    navPoint->SetAttrNS("playOrder", "", std::to_string(playOrder));
    navPoint->AddElement("navLabel")->AddElement("text")->SetTextContent(label);
    navPoint->AddElement("content")->SetAttrNS("src", "", src);
    return navPoint;
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
    ncx->SetAttrNS("xml:lang", "", bookLanguage(layout.details));

    xml::TXMLNode* head = ncx->AddElement("head");
    // Fixed for every book, whatever its length; a strict book's uid is the
    // package's identifier, as it must be.
    const std::string uid = layout.strict ? layout.identifier : "a9781455504428";
    for (const auto& [name, content] : {std::pair{"dtb:uid", uid.c_str()},
                                        {"dtb:depth", layout.chapters.empty() ? "1" : "2"},
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
    // Pages before the first chapter stay at the top; a chapter's entry
    // points at its first page and so shares that page's place in the order.
    auto chapter = layout.chapters.begin();
    xml::TXMLNode* parent = navMap;
    for (int n = 1; n <= layout.pageCount; ++n) {
        const std::string page = "page" + std::to_string(n);
        if (chapter != layout.chapters.end() && chapter->firstPage == n) {
            const auto number = chapter - layout.chapters.begin() + 1;
            parent = addNavPoint(navMap, "chapter" + std::to_string(number), n + k, chapter->title,
                                 page + pageExtension);
            ++chapter;
        }
        const std::string label = layout.strict ? "Page " + std::to_string(n) : page;
        addNavPoint(parent, page, n + k, label, page + pageExtension);
    }

    doc.SaveDocument(contentDir + "/fb.ncx");
}

}  // namespace pagelume::epub
