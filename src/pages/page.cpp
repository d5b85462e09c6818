#include "pages/page.h"

#include "platform/files.h"

namespace pagelume::pages {

std::string Page::fileName() const {
    return platform::fileNamePart(inArchive() ? member : file);
}

std::string Page::displayName() const {
    return inArchive() ? file + kMemberSeparator + member : file;
}

}  // namespace pagelume::pages
