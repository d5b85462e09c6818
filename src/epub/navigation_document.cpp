#include "epub/navigation_document.h"

namespace pagelume::epub {

void writeNavigationDocument(const BookSource&, const std::string&, int,
                             const std::optional<std::string>&) {}

}  // namespace pagelume::epub
