#pragma once

#include <memory>
#include <string>

#include "epub/book.h"
#include "epub/book_layout.h"

namespace pagelume::epub {

// The documents of one kind of book. The run copies the images and lays the
// book out the same way for every kind; what the pages, the cover, the
// stylesheet, the package and the navigation documents look like is the
// writer's. Each is called once per document, in reading order.
class BookWriter {
public:
    virtual ~BookWriter() = default;

    // A book that validators read: names for the images that every reader
    // accepts, the images' own media types, an identifier and an ISO date,
    // and no page that is not a PNG, JPEG or GIF image.
    virtual bool validated() const = 0;

    // Page `page` (from 1), showing imageName, already copied into the
    // content directory from sourcePath. A page that cannot be written is
    // left out, as a missing image is (the run goes on).
    virtual void writePage(int page, const std::string& imageName,
                           const std::string& sourcePath) = 0;
    virtual void writeCover(const std::string& imageName, const std::string& sourcePath) = 0;
    virtual void writeStylesheet() = 0;
    // Throw a pagelume::Exception when they cannot be built or saved.
    virtual void writePackage(const BookLayout& layout) = 0;
    virtual void writeNavigation(const BookLayout& layout) = 0;

    // Why the book cannot be made as it stands, for the user, or empty.
    virtual std::string problem() const { return {}; }
};

// The writer for the book's kind, writing into contentDir.
std::unique_ptr<BookWriter> makeBookWriter(const BookSource& book, const std::string& contentDir);

}  // namespace pagelume::epub
