#pragma once

#include <string>

#include "epub/book.h"
#include "epub/book_layout.h"

namespace pagelume::epub {

// Builds and saves <contentDir>/fb.opf for the book laid out as given. Title
// and author are read from the book now. Without a cover neither the cover
// items nor the cover meta element are written.
// Throws a pagelume::Exception when the document cannot be built or saved
// (a missing contentDir: xml::EDOMError naming the file and the reason); an
// existing fb.opf is replaced only by a complete new one.
void writePackageDocument(const BookSource& book, const std::string& contentDir,
                          const BookLayout& layout);

}  // namespace pagelume::epub
