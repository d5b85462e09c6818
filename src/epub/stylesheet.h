#pragma once

#include <string>

namespace pagelume::epub {

// The book's stylesheet, OEBPS/stylesheet.css: each page shows its image
// whole, centred and fitted to the screen, on one screen.
extern const char* const kStylesheet;

// Writes it into the content directory; false when it could not be written
// (the reason in *error).
bool writeStylesheet(const std::string& contentDir, std::string* error = nullptr);

}  // namespace pagelume::epub
