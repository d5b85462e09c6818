#include "epub/package_document.h"

#include <initializer_list>
#include <utility>

#include "epub/references.h"
#include "epub/texts.h"
#include "platform/locale.h"
#include "epub/book_document.h"
#include "xml/xml_document.h"

namespace pagelume::epub {

namespace {

constexpr const char* kOpfNamespace = "http://www.idpf.org/2007/opf";
constexpr const char* kDcNamespace = "http://purl.org/dc/elements/1.1/";

using Attrs = std::initializer_list<std::pair<const char*, std::string>>;

// An element with its attributes, set in the order given.
xml::TXMLNode* addElement(xml::TXMLNode* parent, const char* name, Attrs attrs = {}) {
    xml::TXMLNode* element = parent->AddElement(name);
    for (const auto& [attr, value] : attrs)
        element->SetAttr(attr, value);
    return element;
}

// Metadata are given their text even when it is empty: such an element gets
// one empty text child and is written with a start and an end tag.
void addText(xml::TXMLNode* parent, const char* name, const std::string& text, Attrs attrs = {}) {
    addElement(parent, name, attrs)->SetTextContent(text);
}

}  // namespace

// The calls come in the order the file is read, which together with the
// builder's indentation fixes every byte of it.
void writePackageDocument(const BookSource& book, const std::string& contentDir, int pageCount,
                          const std::optional<std::string>& coverName,
                          const std::string& dateText) {
    xml::TXMLDocument doc;
    openBookDocument(doc);

    xml::TXMLNode* package = doc.DocNode()->AddElementNS("package", kOpfNamespace);
    doc.MakeDocumentElement(package);
    package->SetAttrNS("unique-identifier", "", "BookId");
    package->SetAttrNS("version", "", "2.0");

    xml::TXMLNode* metadata = package->AddElementNS("metadata", package->NodeNamespace());
    metadata->DeclarePrefix("dc", kDcNamespace);
    metadata->DeclarePrefix("opf", kOpfNamespace);
    addText(metadata, "dc:title", book.title());
    addText(metadata, "dc:creator", book.author(), {{"opf:role", "aut"}});
    addText(metadata, "dc:subject", "");
    addText(metadata, "dc:description", "");
    addText(metadata, "dc:contributor", "");
    addText(metadata, "dc:date", dateText);
    addText(metadata, "dc:type", "[type]");
    addText(metadata, "dc:format", "");
    addText(metadata, "dc:identifier", "", {{"opf:scheme", "ISBN"}});
    addText(metadata, "dc:source", texts::kBookSource);
    addText(metadata, "dc:language", platform::languageTag());
    addText(metadata, "dc:relation", "");
    addText(metadata, "dc:coverage", "");
    addText(metadata, "dc:rights", texts::kBookRights);
    // Only with a cover: naming a manifest item that does not exist makes
    // some reading systems refuse the whole book.
    if (coverName)
        addText(metadata, "meta", "", {{"name", "cover"}, {"content", "cover-image"}});

    xml::TXMLNode* manifest = package->AddElement("manifest");
    const auto addItem = [&](const std::string& id, const std::string& href, const char* type) {
        addElement(manifest, "item", {{"id", id}, {"href", href}, {"media-type", type}});
    };
    addItem("style", "stylesheet.css", "text/css");
    addItem("ncx", "fb.ncx", "application/x-dtbncx+xml");
    if (coverName) {
        addItem("cover", "cover.html", "application/xhtml+xml");
        addItem("cover-image", imageReference(*coverName), "image/jpeg");
    }
    for (int n = 1; n <= pageCount; ++n) {
        const std::string page = "page" + std::to_string(n);
        addItem(page, page + ".html", "application/xhtml+xml");
    }

    xml::TXMLNode* spine = package->AddElement("spine");
    spine->SetAttr("toc", "ncx");
    if (coverName)
        addElement(spine, "itemref", {{"idref", "cover"}, {"linear", "yes"}});
    for (int n = 1; n <= pageCount; ++n) {
        addElement(spine, "itemref", {{"idref", "page" + std::to_string(n)}, {"linear", "yes"}});
    }

    xml::TXMLNode* guide = package->AddElement("guide");
    if (coverName) {
        addElement(guide, "reference",
                   {{"href", imageReference(*coverName)}, {"title", "cover"}, {"type", "cover"}});
    }

    doc.SaveDocument(contentDir + "/fb.opf");
}

}  // namespace pagelume::epub
