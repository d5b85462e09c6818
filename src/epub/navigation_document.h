#pragma once

#include <string>

#include "epub/book.h"
#include "epub/book_layout.h"

namespace pagelume::epub {

// Builds and saves <contentDir>/fb.ncx; see writePackageDocument. Throws on
// failure. The pages are "cover" and "page" + N, with pageExtension.
void writeNavigationDocument(const BookSource& book, const std::string& contentDir,
                             const BookLayout& layout, const char* pageExtension = ".html");

}  // namespace pagelume::epub
