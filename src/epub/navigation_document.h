#pragma once

#include <string>

#include "epub/book.h"
#include "epub/book_layout.h"

namespace pagelume::epub {

// Builds and saves <contentDir>/fb.ncx; see writePackageDocument. Throws on
// failure.
void writeNavigationDocument(const BookSource& book, const std::string& contentDir,
                             const BookLayout& layout);

}  // namespace pagelume::epub
