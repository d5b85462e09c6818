#include "epub/package_document.h"

#include <initializer_list>
#include <utility>

#include "epub/book_document.h"
#include "epub/references.h"
#include "epub/texts.h"
#include "epub/book_details.h"
#include "xml/xml_document.h"

namespace pagelume::epub {


// The calls come in the order the file is read, which together with the
// builder's indentation fixes every byte of it.
void writePackageDocument(const BookSource& book, const std::string& contentDir,
                          const BookLayout& layout) {
    xml::TXMLDocument doc;
    openBookDocument(doc);
    // Written as it is built: a long book's pages never stand in memory whole.
    doc.StreamTo(contentDir + "/fb.opf");
    const std::optional<std::string>& coverName = layout.coverName;
    const bool strict = layout.strict;

    xml::TXMLNode* package = doc.DocNode()->AddElementNS("package", kOpfNamespace);
    doc.MakeDocumentElement(package);
    package->SetAttrNS("unique-identifier", "", "BookId");
    package->SetAttrNS("version", "", "2.0");

    xml::TXMLNode* metadata = package->AddElementNS("metadata", package->NodeNamespace());
    metadata->DeclarePrefix("dc", kDcNamespace);
    metadata->DeclarePrefix("opf", kOpfNamespace);
    // A strict book leaves out what has no text; validators reject empty
    // metadata elements.
    const auto addMeta = [&](const char* name, const std::string& text, Attrs attrs = {}) {
        if (!strict || !text.empty())
            addText(metadata, name, text, attrs);
    };
    addMeta("dc:title", book.title());
    addMeta("dc:creator", book.author(), {{"opf:role", "aut"}});
    addMeta("dc:subject", "");
    addMeta("dc:description", layout.details.description);
    addMeta("dc:contributor", "");
    addMeta("dc:date", layout.date);
    // A placeholder that readers show as the book's category.
    if (!strict)
        addMeta("dc:type", "[type]");
    addMeta("dc:format", "");
    if (strict)
        addMeta("dc:identifier", layout.identifier, {{"id", "BookId"}, {"opf:scheme", "UUID"}});
    else
        addMeta("dc:identifier", "", {{"opf:scheme", "ISBN"}});
    addMeta("dc:source", texts::kBookSource);
    addMeta("dc:language", bookLanguage(layout.details));
    addMeta("dc:relation", "");
    addMeta("dc:coverage", "");
    addMeta("dc:rights", texts::kBookRights);
    // Only with a cover: naming a manifest item that does not exist makes
    // some reading systems refuse the whole book.
    if (coverName)
        addText(metadata, "meta", "", {{"name", "cover"}, {"content", "cover-image"}});
    addSeries(metadata, layout.details, false);

    xml::TXMLNode* manifest = package->AddElement("manifest");
    const auto addItem = [&](const std::string& id, const std::string& href,
                             const std::string& type) {
        addElement(manifest, "item", {{"id", id}, {"href", href}, {"media-type", type}});
    };
    addItem("style", "stylesheet.css", "text/css");
    addItem("ncx", "fb.ncx", "application/x-dtbncx+xml");
    if (coverName) {
        addItem("cover", "cover.html", "application/xhtml+xml");
        addItem("cover-image", imageReference(*coverName), layout.coverMediaType);
    }
    for (int n = 1; n <= layout.pageCount; ++n) {
        const std::string page = "page" + std::to_string(n);
        addItem(page, page + ".html", "application/xhtml+xml");
    }
    // Readers resolve only what the manifest lists: without these items
    // some show every page blank.
    int k = 0;
    for (const BookImage& image : layout.images)
        addItem("image" + std::to_string(++k), imageReference(image.name), image.mediaType);

    xml::TXMLNode* spine = package->AddElement("spine");
    spine->SetAttr("toc", "ncx");
    if (coverName)
        addElement(spine, "itemref", {{"idref", "cover"}, {"linear", "yes"}});
    for (int n = 1; n <= layout.pageCount; ++n) {
        addElement(spine, "itemref", {{"idref", "page" + std::to_string(n)}, {"linear", "yes"}});
    }

    // A strict book's guide points at the cover page, as it must, and a book
    // without a cover has no guide (an empty one is invalid).
    if (!strict || coverName) {
        xml::TXMLNode* guide = package->AddElement("guide");
        if (coverName) {
            const std::string href = strict ? "cover.html" : imageReference(*coverName);
            addElement(guide, "reference", {{"href", href}, {"title", "cover"}, {"type", "cover"}});
        }
    }

    doc.SaveDocument(contentDir + "/fb.opf");
}

}  // namespace pagelume::epub
