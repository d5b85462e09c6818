#include "pages/page_sources.h"

#include <filesystem>

#include "pages/comic_archive.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/natural_order.h"

namespace pagelume::pages {

namespace fs = std::filesystem;

namespace {

bool endsWithNoCase(std::string_view name, std::string_view ext) {
    if (name.size() < ext.size())
        return false;
    const std::string_view tail = name.substr(name.size() - ext.size());
    for (std::size_t i = 0; i < ext.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != ext[i])
            return false;
    }
    return true;
}

std::string noPagesMessage(const std::string& path) {
    return path + ": not a comic archive or folder of page images";
}

}  // namespace

bool hasPageImageExtension(std::string_view name) {
    for (std::string_view ext : {".png", ".jpg", ".jpeg", ".gif"})
        if (endsWithNoCase(name, ext))
            return true;
    return false;
}

bool hasArchiveExtension(std::string_view name) {
    for (std::string_view ext : {".cbz", ".zip", ".cbr", ".rar", ".cb7", ".7z", ".cbt", ".tar"})
        if (endsWithNoCase(name, ext))
            return true;
    return false;
}

std::vector<std::string> imageFilesIn(const std::string& dir) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        throw EInOutError("Unable to read the folder " + dir + ": " + ec.message());
    std::vector<std::string> names;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.empty() || name[0] == '.' || !hasPageImageExtension(name) ||
            !it->is_regular_file(typeError))
            continue;
        names.push_back(std::move(name));
    }
    if (ec)
        throw EInOutError("Unable to read the folder " + dir + ": " + ec.message());
    platform::sortNaturally(names);
    const std::string prefix = !dir.empty() && dir.back() == '/' ? dir : dir + "/";
    for (std::string& n : names)
        n.insert(0, prefix);
    return names;
}

bool isComicArchive(const std::string& path) {
    if (!platform::fileExists(path))
        return false;
    const ContentKind kind = fileContentKind(path);
    return isArchiveKind(kind) ||
           (hasArchiveExtension(platform::fileNamePart(path)) && !isImageKind(kind));
}

std::vector<Page> pagesFromFolder(const std::string& dir) {
    std::vector<Page> pages;
    for (std::string& f : imageFilesIn(dir))
        pages.push_back(Page{std::move(f), {}});
    if (pages.empty())
        throw ENotPageSource(noPagesMessage(dir));
    return pages;
}

SourcePages pagesFrom(const std::string& path, bool imagesOnly) {
    SourcePages source;
    if (platform::directoryExists(path)) {
        source.expanded = true;
        source.pages = pagesFromFolder(path);
    } else if (isComicArchive(path)) {
        source.expanded = true;
        ArchiveListing listing = listArchive(path);
        if (listing.members.empty())
            throw ENotPageSource(noPagesMessage(path));
        source.pages.reserve(listing.members.size());
        for (std::size_t i = 0; i < listing.members.size(); ++i)
            source.pages.push_back(Page{path, std::move(listing.members[i]), listing.kinds[i]});
        if (listing.comicInfo)
            source.info = parseComicInfo(*listing.comicInfo);
    } else if (!imagesOnly || hasPageImageExtension(platform::fileNamePart(path))) {
        source.pages.push_back(Page{path, {}});
    }
    return source;
}

std::vector<Page> pagesFrom(const std::vector<std::string>& paths, bool imagesOnly,
                            ComicInfo* firstInfo) {
    std::vector<Page> pages;
    bool infoTaken = false;
    for (const std::string& p : paths) {
        SourcePages source = pagesFrom(p, imagesOnly);
        if (firstInfo && !infoTaken && source.expanded && !source.info.title.empty() + !source.info.writer.empty()) {
            *firstInfo = source.info;
            infoTaken = true;
        }
        for (Page& page : source.pages)
            pages.push_back(std::move(page));
    }
    return pages;
}

}  // namespace pagelume::pages
