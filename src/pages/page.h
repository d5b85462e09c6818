#pragma once

#include <string>

namespace pagelume::pages {

// What a file's first bytes say it is.
enum class ContentKind { Unknown, Png, Jpeg, Gif, Zip, Rar, SevenZip, Tar };

// One page of the book: where its image's bytes come from. Paths keep the
// bytes the system gave them (they need not be UTF-8), so a page can always
// be opened again.
struct Page {
    std::string file;    // the image file, or the archive that holds it
    std::string member;  // the image's path inside the archive; empty for a file
    // A member's kind as its first bytes showed when the archive was listed
    // (Unknown when they could not be read); files are looked at when copied.
    ContentKind kind = ContentKind::Unknown;
    // The title of the chapter this page starts; empty: it starts none.
    std::string chapter = {};

    bool inArchive() const { return !member.empty(); }
    // The name the image has on its own: the member's or the file's last part.
    std::string fileName() const;
    // How the list and messages show it: the path, or "<archive> › <member>".
    std::string displayName() const;

    bool startsChapter() const { return !chapter.empty(); }
    // The same image: a chapter mark does not make another page.
    bool operator==(const Page& o) const { return file == o.file && member == o.member; }
};

// Between an archive's path and a member's path where a page is shown.
inline constexpr const char* kMemberSeparator = " \u203A ";

}  // namespace pagelume::pages
