#pragma once

#include <optional>
#include <string>
#include <vector>

#include "epub/book.h"

namespace pagelume::epub {

// A page image as the package document lists it.
struct BookImage {
    std::string name;       // its name in the book
    std::string mediaType;  // from its first bytes
};

// A chapter of the contents: its title and the page (from 1) it starts at.
struct BookChapter {
    int firstPage;
    std::string title;
};

// What the run has put into the content directory, as the package and
// navigation documents describe it.
struct BookLayout {
    int pageCount = 0;
    // The cover image's name in the book; nothing without a cover.
    std::optional<std::string> coverName;
    // The cover image's media type: always "image/jpeg" in a default book,
    // the file's own in a strict one.
    std::string coverMediaType = "image/jpeg";
    // The page images that were copied, each once, in the order the pages
    // first use them; the cover's image is not among them (it has its item).
    std::vector<BookImage> images;
    // A strict book: what validators and stores ask for (see the README).
    bool strict = false;
    std::string identifier;  // strict only: "urn:uuid:..."
    std::string date;        // dc:date: the short date, or YYYY-MM-DD when strict
    // The chapters in page order; without any, the contents list the pages.
    std::vector<BookChapter> chapters;
    BookDetails details;     // as the run began
};

}  // namespace pagelume::epub
