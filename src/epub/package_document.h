#pragma once

#include <optional>
#include <string>

#include "epub/book.h"

namespace pagelume::epub {

// Builds and saves <contentDir>/fb.opf for pageCount pages. Title and author
// are read from the book now; coverName is the file name the run gave the
// copied cover, or nothing without a cover (then neither the cover items nor
// the cover meta element are written); dateText is today's short date.
// Throws a pagelume::Exception when the document cannot be built or saved
// (a missing contentDir: xml::EDOMError naming the file and the reason); an
// existing fb.opf is replaced only by a complete new one.
void writePackageDocument(const BookSource& book, const std::string& contentDir, int pageCount,
                          const std::optional<std::string>& coverName, const std::string& dateText);

}  // namespace pagelume::epub
