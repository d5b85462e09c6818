#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "epub/book.h"
#include "xml/xml_document.h"

namespace pagelume::epub {

inline constexpr const char* kOpfNamespace = "http://www.idpf.org/2007/opf";
inline constexpr const char* kDcNamespace = "http://purl.org/dc/elements/1.1/";

using Attrs = std::initializer_list<std::pair<const char*, std::string>>;

// An element with its attributes, set in the order given.
inline xml::TXMLNode* addElement(xml::TXMLNode* parent, const char* name, Attrs attrs = {}) {
    xml::TXMLNode* element = parent->AddElement(name);
    for (const auto& [attr, value] : attrs)
        element->SetAttr(attr, value);
    return element;
}

// Metadata are given their text even when it is empty: such an element gets
// one empty text child and is written with a start and an end tag.
inline void addText(xml::TXMLNode* parent, const char* name, const std::string& text,
                    Attrs attrs = {}) {
    addElement(parent, name, attrs)->SetTextContent(text);
}

// The series the book belongs to, as calibre, Kobo and library apps read it
// and, in an EPUB 3 book, also as a collection. Nothing without a series.
inline void addSeries(xml::TXMLNode* metadata, const BookDetails& details, bool epub3) {
    if (details.series.empty())
        return;
    addElement(metadata, "meta", {{"name", "calibre:series"}, {"content", details.series}});
    if (!details.seriesIndex.empty())
        addElement(metadata, "meta",
                   {{"name", "calibre:series_index"}, {"content", details.seriesIndex}});
    if (!epub3)
        return;
    addText(metadata, "meta", details.series,
            {{"property", "belongs-to-collection"}, {"id", "series"}});
    addText(metadata, "meta", "series", {{"refines", "#series"}, {"property", "collection-type"}});
    if (!details.seriesIndex.empty())
        addText(metadata, "meta", details.seriesIndex,
                {{"refines", "#series"}, {"property", "group-position"}});
}

// Opens an empty document the way the book's XML files start: the
// declaration version "1.0", encoding "UTF-8", standalone "yes" (not in XHTML
// pages), and every element on its own line, indented by one tab per level.
inline void openBookDocument(xml::TXMLDocument& doc, bool standalone = true) {
    doc.XML().clear();
    doc.SetActive(true);
    if (standalone)
        doc.SetDeclStandalone("yes");
    doc.SetDeclVersion("1.0");
    doc.SetDeclEncoding("UTF-8");
    doc.SetNodeIndentStr("\t");
    auto options = doc.Options();
    options += xml::doNodeAutoIndent;
    doc.SetOptions(options);
}

}  // namespace pagelume::epub
