#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pages/comic_info.h"
#include "pages/page.h"

// What the paths a user names stand for: an image file is a page, a folder
// its page images, a comic archive the page images inside it.
namespace pagelume::pages {

// Whether a name ends in .png, .jpg, .jpeg or .gif, in any case.
bool hasPageImageExtension(std::string_view name);
// Whether a name ends in .cbz, .zip, .cbr, .rar, .cb7, .7z, .cbt or .tar, in any case.
bool hasArchiveExtension(std::string_view name);

// The page images directly in a folder (subfolders are not entered), as
// dir + "/" + name, in natural order of their names; hidden files are left
// out. Throws EInOutError when the folder cannot be read.
std::vector<std::string> imageFilesIn(const std::string& dir);

// A regular file that is read as a comic archive: its first bytes are an
// archive's, or its name is an archive's and its bytes are no image's.
bool isComicArchive(const std::string& path);

struct SourcePages {
    std::vector<Page> pages;
    ComicInfo info;  // from an archive's ComicInfo.xml
    bool expanded = false;  // a folder or an archive, not a single file
};

// The page images of a folder and of its subfolders, as pages, in natural
// order of their paths; hidden files and folders are left out. When they
// come from more than one folder, each folder's first page starts a chapter
// named after it. Throws EInOutError when a folder cannot be read,
// ENotPageSource when none holds a page image.
std::vector<Page> pagesFromFolder(const std::string& dir);

// Marks the first page of each run of pages from one folder as a chapter
// named after that folder's last part, when the pages come from more than
// one folder; pages with no folder of their own (an archive's top level)
// take topName. Folders are a file's parent, or a member's within its archive.
void markFolderChapters(std::vector<Page>& pages, const std::string& topName);

// The pages without their chapter marks.
void clearChapterMarks(std::vector<Page>& pages);

// What one path given as pages stands for. A folder or an archive without a
// page image throws ENotPageSource ("<path>: not a comic archive or folder of
// page images", or libarchive's reason); any other file is one page, as it
// is (imagesOnly: only when its name is a page image's, else no page).
SourcePages pagesFrom(const std::string& path, bool imagesOnly = false);

// pagesFrom for each path, in order; nothing is returned when one throws.
std::vector<Page> pagesFrom(const std::vector<std::string>& paths, bool imagesOnly = false,
                            ComicInfo* firstInfo = nullptr);

}  // namespace pagelume::pages
