#pragma once

#include <string>

namespace pagelume::pages {

// What a comic archive's ComicInfo.xml says of the book.
struct ComicInfo {
    std::string title;   // Title, else "Series Number", else empty
    std::string writer;  // Writer, else empty
};

// Reads the few fields Pagelume uses; anything it cannot make sense of
// leaves them empty. The text is untrusted: no entity is expanded beyond the
// predefined ones and character references.
ComicInfo parseComicInfo(const std::string& xml);

}  // namespace pagelume::pages
