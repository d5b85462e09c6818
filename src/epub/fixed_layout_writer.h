#pragma once

#include <string>

#include "epub/book_writer.h"
#include "epub/fixed_layout_documents.h"

namespace pagelume::epub {

// A fixed-layout EPUB 3 book: every page one screen the size of its image,
// read from the header of the copy in the content directory. A page whose
// size cannot be read gets no document and stops the book (problem()).
class FixedLayoutWriter : public BookWriter {
public:
    FixedLayoutWriter(const BookSource& book, std::string contentDir);

    bool validated() const override { return true; }
    void writePage(int page, const std::string& imageName, const std::string& sourcePath) override;
    void writeCover(const std::string& imageName, const std::string& sourcePath) override;
    void writeStylesheet() override;
    void writePackage(const BookLayout& layout) override;
    void writeNavigation(const BookLayout& layout) override;
    std::string problem() const override { return problem_; }

private:
    // The page's size, or nothing (and the problem noted) when it has none
    // or its document cannot be saved.
    std::optional<image::PixelSize> writeOne(const std::string& file, const std::string& imageName,
                                             const std::string& sourcePath,
                                             const std::string& what);
    void noteProblem(std::string text);

    const BookSource& book_;
    std::string contentDir_;
    std::string title_;  // as the run began
    std::string language_;
    FixedLayoutPages pages_;
    std::string problem_;  // the first one
};

}  // namespace pagelume::epub
