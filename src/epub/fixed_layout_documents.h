#pragma once

#include <optional>
#include <string>
#include <vector>

#include "epub/book.h"
#include "epub/book_layout.h"
#include "image/image_size.h"

namespace pagelume::epub {

// What a fixed-layout book knows beyond the layout every kind shares: the
// pixel size of every page, which is the size of its screen.
struct FixedLayoutPages {
    bool rightToLeft = false;
    std::string modified;                   // dcterms:modified, "YYYY-MM-DDThh:mm:ssZ"
    std::optional<image::PixelSize> cover;  // with a cover
    std::vector<image::PixelSize> pages;    // page N at N - 1
};

// The pages are XHTML documents of EPUB 3, which readers and validators
// know by this extension: "cover.xhtml" (page 0), "page1.xhtml", ...
inline constexpr const char* kPageExtension = ".xhtml";
std::string pageDocumentName(int page);

// Where a spine item stands when a reader shows two pages side by side.
enum class Spread { None, Left, Right, Center };

// The spreads of the spine items of the given sizes, in reading order. The
// first page stands alone on the side where reading starts (the right in
// left-to-right reading, the left in right-to-left), then the sides
// alternate; a landscape page (wider than tall) takes the whole spread and
// the alternation starts afresh after it. The first item gets no property
// at all: some readers shift the whole book by one page otherwise.
std::vector<Spread> pageSpreads(const std::vector<image::PixelSize>& spine, bool rightToLeft);

// The current time in UTC as dcterms:modified wants it.
std::string modifiedNow();

// <contentDir>/fb.opf of a fixed-layout book: EPUB 3, pre-paginated, with
// the spreads, the reading direction and the metadata Kindle reads.
void writeFixedLayoutPackage(const BookSource& book, const std::string& contentDir,
                             const BookLayout& layout, const FixedLayoutPages& pages);

// <contentDir>/nav.xhtml: the contents (the cover and every page) and the
// page list.
void writeNavDocument(const BookSource& book, const std::string& contentDir,
                      const BookLayout& layout);
inline constexpr const char* kNavDocument = "nav.xhtml";

// One page: an XHTML document whose viewport is the image's size and whose
// image fills it exactly; in the machine's language unless a tag is given. Throws a pagelume::Exception when it cannot be saved.
void writeFixedLayoutPage(const std::string& path, const std::string& title,
                          const std::string& imageName, const std::string& alt,
                          image::PixelSize size, const std::string& language = {});

// The stylesheet every page links to: no margins, the image as a block.
extern const char* const kFixedLayoutStylesheet;

}  // namespace pagelume::epub
