#include "epub/package_document.h"

namespace pagelume::epub {

void writePackageDocument(const BookSource&, const std::string&, int,
                          const std::optional<std::string>&, const std::string&) {}

}  // namespace pagelume::epub
