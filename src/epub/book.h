#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fit/fit_page.h"
#include "pages/page.h"
#include "platform/exception.h"

namespace pagelume::epub {

// The kinds of book a run can make, each by a writer of its own.
enum class BookKind {
    Default,      // reflowable EPUB 2, as Pagelume has always made them
    Strict,       // reflowable EPUB 2 that validators and e-book stores accept
    FixedLayout,  // EPUB 3 fixed layout: every page one screen, spreads, reading direction
};

// What a book says about itself beyond title and author. Each field left
// empty leaves the book as it would be without it.
struct BookDetails {
    std::string language;     // a BCP 47 tag; empty: the machine's locale
    std::string series;       // the series the book belongs to
    std::string seriesIndex;  // its number in the series, as written ("3", "2.5")
    std::string description;

    bool operator==(const BookDetails&) const = default;
};

// What a conversion reads about the book. Every value is asked for at the
// moment the run needs it, never cached, so the window's fields are the model.
class BookSource {
public:
    virtual ~BookSource() = default;
    virtual int pageCount() const = 0;
    virtual std::string pagePath(int index) const = 0;  // 0-based, display order
    // Where the page's image comes from: a file, or a member of an archive.
    virtual pages::Page page(int index) const { return pages::Page{pagePath(index), {}}; }
    // The screen the pages are fitted to (scaled down, written as JPEG);
    // none: every image goes into the book as it is.
    virtual std::optional<fit::FitOptions> fitting() const { return std::nullopt; }
    virtual std::string title() const = 0;
    virtual std::string author() const = 0;
    virtual std::string coverPath() const = 0;  // empty: no cover
    virtual std::string savePath() const = 0;
    virtual BookKind kind() const { return BookKind::Default; }
    // Pages turn to the left (manga): fixed-layout books only.
    virtual bool rightToLeft() const { return false; }
    virtual BookDetails details() const { return {}; }
};

// Thrown by a host's processEvents() to stop a run where it is (the program
// was told to end): the run removes what it has written of the new book and
// leaves an older one untouched.
PAGELUME_DEFINE_EXCEPTION(ERunInterrupted, Exception);

// The two stages of a run, as progress reports them.
enum class RunStage {
    Copying,   // the pages: done and total count images
    Packing,   // the archive: done and total count bytes of the book's files
    Cleaning,  // removing a book's staged files: done and total count entries
};

// How a conversion talks to the user. The window answers with dialogs, the
// command line with stderr and its flags, tests with a recording fake.
class RunHost {
public:
    virtual ~RunHost() = default;
    // A modal box with one OK button.
    virtual void showMessage(const std::string& text, const std::string& caption) = 0;
    // A Yes/No question; true only for Yes.
    virtual bool askYesNo(const std::string& text, const std::string& caption) = 0;
    // An error box (icon "critical") for failures the user has to know about.
    virtual void showError(const std::string& text) = 0;
    virtual void setBusy(bool busy) = 0;
    // Lets pending window events through: after every page and, while
    // packing, after every block. May throw ERunInterrupted.
    virtual void processEvents() = 0;
    // How far the run is; total is 0 while the files to pack are being found.
    virtual void progress(RunStage stage, std::uint64_t done, std::uint64_t total) = 0;
    // A page's image (page 0: the cover's) could not be copied into the
    // book; its page stays, without the image. The window says nothing.
    virtual void imageNotCopied(int page, const std::string& path, const std::string& reason) {
        (void)page, (void)path, (void)reason;
    }
    virtual void openFolder(const std::string& path) = 0;
};

}  // namespace pagelume::epub
