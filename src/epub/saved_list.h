#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "epub/book.h"
#include "pages/page.h"
#include "platform/exception.h"

namespace pagelume::epub {

// A page list saved to a file, so that a book can be made again later,
// elsewhere, or from the command line: everything the window holds about
// the book except how it looks on screen.
struct SavedList {
    std::vector<pages::Page> pages;  // with their chapter marks
    std::string title, author, cover, saveFolder;
    BookKind kind = BookKind::Default;
    bool rightToLeft = false;
    // The screen pages are fitted to: a device's id or WIDTHxHEIGHT; empty:
    // the original pages. grey: pages in grey (alone: at their own size).
    std::string fit;
    bool grey = false;
    BookDetails details;

    // The same list: the same pages with the same marks, and the same fields.
    bool sameAs(const SavedList& other) const;
};

// A list file that cannot be read; the message names the file and, where
// it can, the line: "<file>, line N: <what>".
PAGELUME_DEFINE_EXCEPTION(ESavedList, Exception);

// Lists are small: a larger file is refused without being read.
inline constexpr std::uint64_t kMaxSavedListBytes = std::uint64_t{64} << 20;
inline constexpr std::size_t kMaxSavedListLine = std::size_t{1} << 20;
inline constexpr std::size_t kMaxSavedListPages = 1000000;

// Whether a name ends in ".pagelume", in any case.
bool isSavedListName(const std::string& path);

// The file's text for a list kept in folder (absolute, no trailing '/'):
// paths in that folder or below it are written relative to it.
std::string savedListText(const SavedList& list, const std::string& folder);
// The list a file's text describes, relative paths taken from folder. name
// is how messages call the file. Throws ESavedList.
SavedList parseSavedList(const std::string& text, const std::string& folder,
                         const std::string& name);

// Reads a list file. Throws ESavedList (the file is damaged, too large or
// not a regular file) or EInOutError (it cannot be read).
SavedList readSavedList(const std::string& path);
// Writes a list file whole or not at all: an existing file is replaced only
// once the new one is complete. Throws EInOutError.
void writeSavedList(const std::string& path, const SavedList& list);

}  // namespace pagelume::epub
