#include "epub/fixed_layout_writer.h"

#include "epub/book_details.h"
#include "epub/navigation_document.h"
#include "epub/texts.h"
#include "platform/exception.h"
#include "platform/files.h"

namespace pagelume::epub {

FixedLayoutWriter::FixedLayoutWriter(const BookSource& book, std::string contentDir)
    : book_(book),
      contentDir_(std::move(contentDir)),
      title_(book.title()),
      language_(bookLanguage(book.details())) {
    pages_.rightToLeft = book.rightToLeft();
}

void FixedLayoutWriter::noteProblem(std::string text) {
    if (problem_.empty())
        problem_ = std::move(text);
}

std::optional<image::PixelSize> FixedLayoutWriter::writeOne(const std::string& file,
                                                            const std::string& imageName,
                                                            const std::string& sourcePath,
                                                            const std::string& what) {
    // The book's own pages would take the place of such an image.
    if (platform::asciiUpper(imageName).ends_with(".XHTML")) {
        noteProblem(what + texts::kNamedLikeAPage + sourcePath);
        return std::nullopt;
    }
    // The copy, not the source: it is what the book holds.
    const auto size = image::readImageSize(contentDir_ + "/" + imageName);
    if (!size) {
        noteProblem(what + texts::kSizeUnreadable + sourcePath);
        return std::nullopt;
    }
    const std::string path = contentDir_ + "/" + file;
    try {
        writeFixedLayoutPage(path, title_, imageName, what, *size, language_);
    } catch (const Exception& e) {
        noteStagingFault(path, e.what());  // the disk, not the page
        return std::nullopt;
    }
    return size;
}

void FixedLayoutWriter::writePage(int page, const std::string& imageName,
                                  const std::string& sourcePath) {
    const std::string number = std::to_string(page);
    const auto size = writeOne(pageDocumentName(page), imageName, sourcePath, "Page " + number);
    pages_.pages.push_back(size.value_or(image::PixelSize{1, 1}));
}

void FixedLayoutWriter::writeCover(const std::string& imageName, const std::string& sourcePath) {
    pages_.cover = writeOne(pageDocumentName(0), imageName, sourcePath, "Cover")
                       .value_or(image::PixelSize{1, 1});
}

void FixedLayoutWriter::writeStylesheet() {
    const std::string path = contentDir_ + "/stylesheet.css";
    if (std::string reason; !platform::writeWholeFile(path, kFixedLayoutStylesheet, &reason))
        noteStagingFault(path, reason);
}

void FixedLayoutWriter::writePackage(const BookLayout& layout) {
    pages_.modified = modifiedNow();
    writeFixedLayoutPackage(book_, contentDir_, layout, pages_);
}

// fb.ncx stays for the reading systems that know only EPUB 2.
void FixedLayoutWriter::writeNavigation(const BookLayout& layout) {
    writeNavDocument(book_, contentDir_, layout);
    writeNavigationDocument(book_, contentDir_, layout, kPageExtension);
}

}  // namespace pagelume::epub
