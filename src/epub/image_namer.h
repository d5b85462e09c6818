#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>

#include "pages/page.h"

namespace pagelume::epub {

// The name an image gets inside the book.
struct ImageName {
    std::string name;
    bool first = true;  // the first time this source file is named: copy it
};

// The names the page images get inside the book. The first file keeps its
// own name; a later, different file whose name is taken gets "stem-2.ext",
// "stem-3.ext", ...; the same file added again shares its first copy. Names
// are compared without regard to case (the archive does the same), and the
// names the book's own documents use are never handed out. Leading dots are
// dropped, since hidden files are not packed; a backslash, a control
// character or a byte that is not UTF-8 becomes '_', so that every name is
// the same text in the archive and in the references to it. For a strict
// book only letters and digits (of any script), '-', '_' and '.' stay, names
// are written in Unicode's composed form (NFC), names that differ only in
// case or in their Unicode spelling count as one, and the extension follows
// the image's content. A name never grows past the longest file name (255
// bytes): the stem is shortened, at a character boundary, to make room for
// its suffix and extension.
//
// Each source is looked at once (one stat) and every lookup is hashed, so
// naming a book costs time in proportion to its pages.
class ImageNamer {
public:
    explicit ImageNamer(int pageCount, bool strict = false)
        : pageCount_(pageCount), strict_(strict) {}
    // mediaType: what the source's first bytes say it is ("image/png",
    // "image/jpeg", "image/gif", anything else); a strict book's extension
    // follows it. Ignored for other books.
    ImageName nameFor(const std::string& sourcePath, const std::string& mediaType = {});
    // A member of an archive is named by its own file name, and is the same
    // source as the same member of the same archive.
    ImageName nameFor(const pages::Page& page, const std::string& mediaType = {});
    // The name for an image known by identity (any text the other calls do
    // not make: "fitted\n" + the name it replaces, say), from a file name.
    ImageName nameForFile(const std::string& identity, const std::string& fileName,
                          const std::string& mediaType = {});

private:
    bool taken(const std::string& name) const;
    std::string key(const std::string& name) const;  // what two alike names share

    int pageCount_;
    bool strict_;
    std::unordered_map<std::string, std::string> bySource_;  // source identity -> name
    std::unordered_set<std::string> given_;                  // keys of the names given
    std::unordered_map<std::string, int> nextSuffix_;        // key of stem/ext -> k
};

// name, shortened at a UTF-8 character boundary to at most max bytes.
std::string cutName(const std::string& name, std::size_t max);

// The extension a strict book gives an image of this media type (".png",
// ".jpg", ".gif"); empty for anything else.
std::string extensionFor(const std::string& mediaType);

// The file name part of a path as it may stand in the book: every backslash,
// control character (U+0000 to U+001F, U+007F) and byte that is not part of
// valid UTF-8 replaced by '_', and leading dots dropped ("image" when nothing
// is left). strict: every character but letters, digits, '-', '_' and '.'
// replaced by '_' as well.
std::string bookImageName(const std::string& fileName, bool strict = false);

// Whether c counts as a letter or a digit in a strict book's names: ASCII
// letters and digits, and every character above ASCII except spaces,
// punctuation, symbols, controls, private use and non-characters (by block;
// an approximation of the Unicode categories that needs no tables).
bool isNameLetterOrDigit(char32_t c);

}  // namespace pagelume::epub
