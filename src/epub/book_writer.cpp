#include "epub/book_writer.h"

#include "epub/book_details.h"
#include "epub/fixed_layout_writer.h"
#include "epub/navigation_document.h"
#include "epub/package_document.h"
#include "epub/page_wrapper.h"
#include "epub/stylesheet.h"

namespace pagelume::epub {

namespace {

// The reflowable EPUB 2 books: one wrapper per page around its image. The
// strict one differs only in small, named places of the shared documents.
class ReflowableWriter : public BookWriter {
public:
    ReflowableWriter(const BookSource& book, std::string contentDir, bool strict)
        : book_(book),
          contentDir_(std::move(contentDir)),
          title_(book.title()),
          language_(bookLanguage(book.details())),
          strict_(strict) {}

    bool validated() const override { return strict_; }
    void writePage(int page, const std::string& imageName, const std::string&) override {
        wrap("page" + std::to_string(page) + ".html", imageName, "Page " + std::to_string(page));
    }
    void writeCover(const std::string& imageName, const std::string&) override {
        wrap("cover.html", imageName, "Cover");
    }
    void writeStylesheet() override {
        if (std::string reason; !epub::writeStylesheet(contentDir_, &reason))
            noteStagingFault(contentDir_ + "/stylesheet.css", reason);
    }
    void writePackage(const BookLayout& layout) override {
        writePackageDocument(book_, contentDir_, layout);
    }
    void writeNavigation(const BookLayout& layout) override {
        writeNavigationDocument(book_, contentDir_, layout);
    }

private:
    void wrap(const std::string& file, const std::string& imageName, const std::string& alt) {
        const StrictWrapper strict{title_, alt};
        const std::string path = contentDir_ + "/" + file;
        if (std::string reason;
            !writePageWrapper(path, imageName, strict_ ? &strict : nullptr, &reason, language_))
            noteStagingFault(path, reason);
    }

    const BookSource& book_;
    std::string contentDir_;
    std::string title_;  // as the run began: every page shows the same
    std::string language_;
    bool strict_;
};

}  // namespace

std::unique_ptr<BookWriter> makeBookWriter(const BookSource& book, const std::string& contentDir) {
    switch (book.kind()) {
        case BookKind::FixedLayout:
            return std::make_unique<FixedLayoutWriter>(book, contentDir);
        case BookKind::Strict:
            return std::make_unique<ReflowableWriter>(book, contentDir, true);
        case BookKind::Default:
            break;
    }
    return std::make_unique<ReflowableWriter>(book, contentDir, false);
}

}  // namespace pagelume::epub
