#pragma once

#include <string>

namespace pagelume::epub {

// What a strict book's wrapper adds: a title in its head and a text for its
// image, which validators ask for.
struct StrictWrapper {
    std::string title;  // the book's title
    std::string alt;    // "Cover", "Page N"
};

// The eleven CR LF terminated lines of the XHTML page that shows one image
// (thirteen in a strict book, which has a document type and a title). The image name
// goes in as a reference (see imageReference); everything else is fixed text.
std::string pageWrapperText(const std::string& languageTag, const std::string& imageName,
                            const StrictWrapper* strict = nullptr);

// Writes the wrapper for imageName to path, replacing any file there.
// False when the file could not be written whole, the reason in *error.
// The language is the machine's unless a tag is given.
bool writePageWrapper(const std::string& path, const std::string& imageName,
                      const StrictWrapper* strict = nullptr, std::string* error = nullptr,
                      const std::string& language = {});

// Text as XML character data: & < > escaped, and characters XML cannot carry
// (most control characters, broken UTF-8) as U+FFFD.
std::string escapeText(const std::string& text);

}  // namespace pagelume::epub
