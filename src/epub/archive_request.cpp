#include "epub/archive_request.h"

namespace pagelume::epub {

bool archiveRequest(const std::string&, const std::string&, const ArchiveProgress&,
                    std::string* error) {
    if (error) *error = "the archive writer is not built yet";
    return false;
}

}  // namespace pagelume::epub
