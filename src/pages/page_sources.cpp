#include "pages/page_sources.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <utility>

#include <sys/stat.h>

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

// Deeper than any real volume; a deeper tree is cut there.
constexpr int kMaxFolderDepth = 32;

// A folder's entries in natural order of their names, files and folders
// together, so the pages come in natural order of their whole paths. A
// folder reached again (a link back up the tree) is not entered twice.
void collectImages(const std::string& dir, int depth, std::set<std::pair<dev_t, ino_t>>& seen,
                   std::vector<Page>& pages) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !seen.insert({st.st_dev, st.st_ino}).second)
        return;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        throw EInOutError("Unable to read the folder " + dir + ": " + ec.message());
    std::vector<std::pair<std::string, bool>> entries;  // name, is a folder
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.')
            continue;
        std::error_code typeError;
        if (hasPageImageExtension(name) && it->is_regular_file(typeError))
            entries.emplace_back(std::move(name), false);
        else if (depth < kMaxFolderDepth && it->is_directory(typeError))
            entries.emplace_back(std::move(name), true);
    }
    if (ec)
        throw EInOutError("Unable to read the folder " + dir + ": " + ec.message());
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return platform::naturalLess(a.first, b.first); });
    const std::string prefix = !dir.empty() && dir.back() == '/' ? dir : dir + "/";
    for (auto& [name, folder] : entries) {
        if (folder)
            collectImages(prefix + name, depth + 1, seen, pages);
        else
            pages.push_back(Page{prefix + name, {}});
    }
}

// The folder part of a path ("" for none) and the name of that folder.
std::string_view folderOf(std::string_view path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

std::string lastPart(std::string_view folder, const std::string& topName) {
    while (!folder.empty() && folder.back() == '/')
        folder.remove_suffix(1);
    const auto slash = folder.find_last_of('/');
    const std::string_view part =
        slash == std::string_view::npos ? folder : folder.substr(slash + 1);
    return part.empty() || part == "." || part == ".." ? topName : std::string(part);
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
    if (!platform::directoryExists(dir))
        throw EInOutError("Unable to read the folder " + dir + ": not a folder");
    std::vector<Page> pages;
    std::set<std::pair<dev_t, ino_t>> seen;
    collectImages(dir, 0, seen, pages);
    if (pages.empty())
        throw ENotPageSource(noPagesMessage(dir));
    // "." and ".." name no folder a reader would recognise; their real name does.
    std::string top = lastPart(dir, {});
    if (top.empty()) {
        std::error_code ec;
        const fs::path real = fs::canonical(dir, ec);
        top = !ec && real.has_filename() ? real.filename().string() : dir;
    }
    markFolderChapters(pages, top);
    return pages;
}

void markFolderChapters(std::vector<Page>& pages, const std::string& topName) {
    const auto folder = [](const Page& p) { return folderOf(p.inArchive() ? p.member : p.file); };
    bool several = false;
    for (std::size_t i = 1; i < pages.size() && !several; ++i)
        several = folder(pages[i]) != folder(pages[i - 1]);
    if (!several)
        return;
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (i == 0 || folder(pages[i]) != folder(pages[i - 1]))
            pages[i].chapter = lastPart(folder(pages[i]), topName);
}

void clearChapterMarks(std::vector<Page>& pages) {
    for (Page& p : pages)
        p.chapter.clear();
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
        std::string name = platform::fileNamePart(path);
        if (const auto dot = name.find_last_of('.'); dot != std::string::npos && dot > 0)
            name.erase(dot);
        markFolderChapters(source.pages, name);
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
        if (firstInfo && !infoTaken && source.expanded &&
            !source.info.title.empty() + !source.info.writer.empty()) {
            *firstInfo = source.info;
            infoTaken = true;
        }
        for (Page& page : source.pages)
            pages.push_back(std::move(page));
    }
    return pages;
}

}  // namespace pagelume::pages
