#pragma once

#include <optional>
#include <string>

#include "epub/book.h"

namespace pagelume::epub {

// Builds and saves <contentDir>/fb.opf for pageCount pages. Title and author
// are read from the book now; coverName is the file name the run gave the
// copied cover, or nothing without a cover; dateText is today's short date.
// Throws when the document cannot be built or saved.
void writePackageDocument(const BookSource& book, const std::string& contentDir, int pageCount,
                          const std::optional<std::string>& coverName,
                          const std::string& dateText);

}  // namespace pagelume::epub
