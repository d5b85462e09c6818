#pragma once

#include <optional>
#include <string>

#include "epub/book.h"

namespace pagelume::epub {

// Builds and saves <contentDir>/fb.ncx for pageCount pages; see
// writePackageDocument for the arguments. Throws on failure.
void writeNavigationDocument(const BookSource& book, const std::string& contentDir, int pageCount,
                             const std::optional<std::string>& coverName);

}  // namespace pagelume::epub
