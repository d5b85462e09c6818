#pragma once

#include "xml/xml_document.h"

namespace pagelume::epub {

// Opens an empty document the way both of the book's XML files start: the
// declaration version "1.0", encoding "UTF-8", standalone "yes", and every
// element on its own line, indented by one tab per level.
inline void openBookDocument(xml::TXMLDocument& doc) {
    doc.XML().clear();
    doc.SetActive(true);
    doc.SetDeclStandalone("yes");
    doc.SetDeclVersion("1.0");
    doc.SetDeclEncoding("UTF-8");
    doc.SetNodeIndentStr("\t");
    auto options = doc.Options();
    options += xml::doNodeAutoIndent;
    doc.SetOptions(options);
}

}  // namespace pagelume::epub
