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

// The page images of a folder, as pages. Throws EInOutError when it is no
// folder that can be read, ENotPageSource when it holds no page image.
std::vector<Page> pagesFromFolder(const std::string& dir);

// What one path given as pages stands for. A folder or an archive without a
// page image throws ENotPageSource ("<path>: not a comic archive or folder of
// page images", or libarchive's reason); any other file is one page, as it
// is (imagesOnly: only when its name is a page image's, else no page).
SourcePages pagesFrom(const std::string& path, bool imagesOnly = false);

// pagesFrom for each path, in order; nothing is returned when one throws.
std::vector<Page> pagesFrom(const std::vector<std::string>& paths, bool imagesOnly = false,
                            ComicInfo* firstInfo = nullptr);

}  // namespace pagelume::pages
