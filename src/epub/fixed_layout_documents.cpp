#include "epub/fixed_layout_documents.h"

#include <ctime>
#include <initializer_list>
#include <utility>

#include "epub/book_details.h"
#include "epub/book_document.h"
#include "epub/references.h"
#include "epub/texts.h"
#include "platform/locale.h"
#include "xml/xml_document.h"

namespace pagelume::epub {

namespace {

constexpr const char* kXhtmlNamespace = "http://www.w3.org/1999/xhtml";
constexpr const char* kOpsNamespace = "http://www.idpf.org/2007/ops";

std::string sizeText(image::PixelSize size, const char* between) {
    return std::to_string(size.width) + between + std::to_string(size.height);
}

// An XHTML document: declaration, the HTML document type, and the root in
// the XHTML namespace with the language of the book.
xml::TXMLNode* openHtml(xml::TXMLDocument& doc, const std::string& language) {
    openBookDocument(doc, false);
    doc.DocNode()->ChildNodes().Add(doc.CreateNode("html", xml::ntDocType));
    xml::TXMLNode* html = doc.DocNode()->AddElementNS("html", kXhtmlNamespace);
    doc.MakeDocumentElement(html);
    html->SetAttr("xml:lang", language);
    html->SetAttr("lang", language);
    return html;
}

const char* spreadProperty(Spread spread) {
    switch (spread) {
        case Spread::Left:
            return "page-spread-left";
        case Spread::Right:
            return "page-spread-right";
        case Spread::Center:
            return "rendition:page-spread-center";
        case Spread::None:
            break;
    }
    return nullptr;
}

// The page whose screen is largest, which Kindle scales the others to.
image::PixelSize largest(const std::vector<image::PixelSize>& sizes) {
    image::PixelSize best{1, 1};
    for (const image::PixelSize& s : sizes) {
        if (std::uint64_t(s.width) * s.height > std::uint64_t(best.width) * best.height)
            best = s;
    }
    return best;
}

}  // namespace

std::string pageDocumentName(int page) {
    return page == 0 ? "cover" + std::string(kPageExtension)
                     : "page" + std::to_string(page) + kPageExtension;
}

std::vector<Spread> pageSpreads(const std::vector<image::PixelSize>& spine, bool rightToLeft) {
    const Spread first = rightToLeft ? Spread::Left : Spread::Right;
    std::vector<Spread> spreads;
    spreads.reserve(spine.size());
    Spread next = first;
    for (const image::PixelSize& size : spine) {
        if (size.width > size.height) {
            spreads.push_back(Spread::Center);
            next = first;
        } else {
            spreads.push_back(next);
            next = next == Spread::Left ? Spread::Right : Spread::Left;
        }
    }
    if (!spreads.empty())
        spreads.front() = Spread::None;
    return spreads;
}

std::string modifiedNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// In reading order, like the EPUB 2 package; only what EPUB 3 and the
// readers of fixed-layout books ask for.
void writeFixedLayoutPackage(const BookSource& book, const std::string& contentDir,
                             const BookLayout& layout, const FixedLayoutPages& pages) {
    xml::TXMLDocument doc;
    openBookDocument(doc);
    doc.StreamTo(contentDir + "/fb.opf");  // as it is built, like the EPUB 2 package
    const std::optional<std::string>& coverName = layout.coverName;

    xml::TXMLNode* package = doc.DocNode()->AddElementNS("package", kOpfNamespace);
    doc.MakeDocumentElement(package);
    package->SetAttrNS("version", "", "3.0");
    package->SetAttrNS("unique-identifier", "", "BookId");

    xml::TXMLNode* metadata = package->AddElementNS("metadata", package->NodeNamespace());
    metadata->DeclarePrefix("dc", kDcNamespace);
    addText(metadata, "dc:identifier", layout.identifier, {{"id", "BookId"}});
    addText(metadata, "dc:title", book.title());
    if (const std::string author = book.author(); !author.empty())
        addText(metadata, "dc:creator", author);
    const BookDetails& details = layout.details;
    addText(metadata, "dc:language", bookLanguage(details));
    if (!details.description.empty())
        addText(metadata, "dc:description", details.description);
    addText(metadata, "meta", pages.modified, {{"property", "dcterms:modified"}});
    addText(metadata, "meta", "pre-paginated", {{"property", "rendition:layout"}});
    addText(metadata, "meta", "landscape", {{"property", "rendition:spread"}});
    addText(metadata, "meta", "auto", {{"property", "rendition:orientation"}});
    // What Kindle and older readers go by instead.
    if (coverName)
        addElement(metadata, "meta", {{"name", "cover"}, {"content", "cover-image"}});
    std::vector<image::PixelSize> spine;
    spine.reserve(pages.pages.size() + 1);
    if (coverName && pages.cover)
        spine.push_back(*pages.cover);
    spine.insert(spine.end(), pages.pages.begin(), pages.pages.end());
    addElement(metadata, "meta", {{"name", "book-type"}, {"content", "comic"}});
    addSeries(metadata, details, true);
    addElement(metadata, "meta", {{"name", "fixed-layout"}, {"content", "true"}});
    addElement(metadata, "meta",
               {{"name", "original-resolution"}, {"content", sizeText(largest(spine), "x")}});
    addElement(metadata, "meta",
               {{"name", "primary-writing-mode"},
                {"content", pages.rightToLeft ? "horizontal-rl" : "horizontal-lr"}});

    xml::TXMLNode* manifest = package->AddElement("manifest");
    const auto addItem = [&](const std::string& id, const std::string& href,
                             const std::string& type, const char* properties = nullptr) {
        xml::TXMLNode* item =
            addElement(manifest, "item", {{"id", id}, {"href", href}, {"media-type", type}});
        if (properties)
            item->SetAttr("properties", std::string(properties));
    };
    addItem("style", "stylesheet.css", "text/css");
    addItem("ncx", "fb.ncx", "application/x-dtbncx+xml");
    addItem("nav", kNavDocument, "application/xhtml+xml", "nav");
    if (coverName) {
        addItem("cover", pageDocumentName(0), "application/xhtml+xml");
        addItem("cover-image", imageReference(*coverName), layout.coverMediaType, "cover-image");
    }
    for (int n = 1; n <= layout.pageCount; ++n) {
        addItem("page" + std::to_string(n), pageDocumentName(n), "application/xhtml+xml");
    }
    int k = 0;
    for (const BookImage& image : layout.images)
        addItem("image" + std::to_string(++k), imageReference(image.name), image.mediaType);

    xml::TXMLNode* spineNode = package->AddElement("spine");
    spineNode->SetAttr("toc", "ncx");
    spineNode->SetAttr("page-progression-direction", pages.rightToLeft ? "rtl" : "ltr");
    const std::vector<Spread> spreads = pageSpreads(spine, pages.rightToLeft);
    std::size_t at = 0;
    const auto addItemref = [&](const std::string& idref) {
        xml::TXMLNode* itemref = addElement(spineNode, "itemref", {{"idref", idref}});
        if (const char* property = at < spreads.size() ? spreadProperty(spreads[at]) : nullptr)
            itemref->SetAttr("properties", std::string(property));
        ++at;
    };
    if (coverName)
        addItemref("cover");
    for (int n = 1; n <= layout.pageCount; ++n)
        addItemref("page" + std::to_string(n));

    doc.SaveDocument(contentDir + "/fb.opf");
}

void writeNavDocument(const BookSource& book, const std::string& contentDir,
                      const BookLayout& layout) {
    xml::TXMLDocument doc;
    xml::TXMLNode* html = openHtml(doc, bookLanguage(layout.details));
    doc.StreamTo(contentDir + "/" + kNavDocument);  // two entries per page: written as built
    html->DeclarePrefix("epub", kOpsNamespace);
    addText(html->AddElement("head"), "title", book.title());
    xml::TXMLNode* body = html->AddElement("body");

    xml::TXMLNode* toc = addElement(body, "nav", {{"epub:type", "toc"}, {"id", "toc"}});
    xml::TXMLNode* contents = toc->AddElement("ol");
    const auto addEntry = [](xml::TXMLNode* list, const std::string& href,
                             const std::string& label) {
        addText(list->AddElement("li"), "a", label, {{"href", href}});
    };
    if (layout.coverName)
        addEntry(contents, pageDocumentName(0), "Cover");
    // A chapter is an entry pointing at its first page, with its pages in a
    // list of their own; pages before the first chapter stay at the top.
    auto chapter = layout.chapters.begin();
    xml::TXMLNode* list = contents;
    for (int n = 1; n <= layout.pageCount; ++n) {
        if (chapter != layout.chapters.end() && chapter->firstPage == n) {
            xml::TXMLNode* item = contents->AddElement("li");
            addText(item, "a", chapter->title, {{"href", pageDocumentName(n)}});
            list = item->AddElement("ol");
            ++chapter;
        }
        addEntry(list, pageDocumentName(n), "Page " + std::to_string(n));
    }

    // The printed page numbers, for readers that show or jump to them.
    xml::TXMLNode* pageList =
        addElement(body, "nav", {{"epub:type", "page-list"}, {"hidden", "hidden"}});
    xml::TXMLNode* numbers = pageList->AddElement("ol");
    for (int n = 1; n <= layout.pageCount; ++n)
        addEntry(numbers, pageDocumentName(n), std::to_string(n));

    doc.SaveDocument(contentDir + "/" + kNavDocument);
}

// The reading system scales the page to its screen; the image is the page.
void writeFixedLayoutPage(const std::string& path, const std::string& title,
                          const std::string& imageName, const std::string& alt,
                          image::PixelSize size, const std::string& language) {
    xml::TXMLDocument doc;
    xml::TXMLNode* html = openHtml(doc, language.empty() ? platform::languageTag() : language);
    xml::TXMLNode* head = html->AddElement("head");
    addText(head, "title", title);
    addElement(head, "meta",
               {{"name", "viewport"}, {"content", "width=" + sizeText(size, ", height=")}});
    addElement(head, "link",
               {{"href", "stylesheet.css"}, {"type", "text/css"}, {"rel", "stylesheet"}});
    // No width and height: the image's own size is the page's, and a reader
    // that lays the page out as a reflowable one (mupdf) fits it to its
    // screen only when nothing fixes its size.
    addElement(html->AddElement("body"), "img", {{"src", imageReference(imageName)}, {"alt", alt}});
    doc.SaveDocument(path);
}

// The page is as large as its image and the reader scales the whole page,
// so the image keeps its own size. Nothing may be sized by the screen: a
// reader's frame (and so 100vh) can be smaller than the page it scales into
// it, and the image would come out squashed. Some readers fit every image
// into their frame all the same (Foliate); the rule that outranks theirs
// limits it by the page instead, which it fills anyway. mupdf, which lays the
// pages out as reflowable ones, fits a large image into its screen itself.
const char* const kFixedLayoutStylesheet =
    "@page {\r\n"
    "\tmargin: 0;\r\n"
    "}\r\n"
    "html, body {\r\n"
    "\tmargin: 0;\r\n"
    "\tpadding: 0;\r\n"
    "}\r\n"
    "img {\r\n"
    "\tdisplay: block;\r\n"
    "\tmargin: 0;\r\n"
    "\tpadding: 0;\r\n"
    "\tborder: 0;\r\n"
    "}\r\n"
    "html body img {\r\n"
    "\tmax-width: 100% !important;\r\n"
    "\tmax-height: 100% !important;\r\n"
    "}\r\n";

}  // namespace pagelume::epub
