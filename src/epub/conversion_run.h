#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "epub/book.h"
#include "epub/image_namer.h"
#include "pages/comic_archive.h"
#include "epub/page_wrapper.h"
#include "platform/files.h"
#include "zip/deflate_cache.h"

namespace pagelume::epub {

enum class RunResult {
    Nothing,  // no pages: nothing done, nothing said
    Stopped,  // a check or the user's answer ended the run
    Failed,   // the book could not be written
    Built,    // the .epub is complete
};

// The Convert command: rebuilds the content directory, writes the pages,
// the cover, the package and navigation documents, checks the fields and
// packs the staging directory into <save path>/<title>.epub.
//
// Errors while building the documents leave as exceptions, for the caller's
// error box, and so does ERunInterrupted from the host; everything else is
// reported through the host.
class ConversionRun {
public:
    ConversionRun(const BookSource& book, RunHost& host, std::string stagingDir);

    RunResult run();

    const std::string& contentDir() const { return contentDir_; }
    const std::string& outputPath() const { return outputPath_; }
    // Why packing failed, when it did (for logs and the command line).
    const std::string& failureReason() const { return failureReason_; }

private:
    RunResult runSteps();
    bool checkFields();
    void copyImage(int page, const std::string& source, const std::string& name, bool first);
    void planMemberCopy(int page, const pages::Page& source, const std::string& name, bool first);
    void copyMembers();
    void fitImages(const fit::FitOptions& options, std::vector<std::string>& firstImages,
                   ImageNamer& namer);
    std::string fitCover(const fit::FitOptions& options, const std::string& name, ImageNamer& namer);
    std::string takeFitted(const std::string& name, const std::string& fitted, ImageNamer& namer);
    bool stagingFault(const std::string& path, const std::string& reason);
    RunResult stagingFailed(const std::string& reason = {});
    bool checkImageFormats();
    void releasePageTables();
    bool pack();

    const BookSource& book_;
    RunHost& host_;
    std::string stagingDir_;
    std::string contentDir_;
    std::string outputPath_;
    std::string failureReason_;
    std::string stagingFault_;  // why the staging folder could not be written
    std::unordered_map<std::string, std::string> failedCopies_;  // name -> reason
    std::unordered_map<std::string, std::string> mediaTypes_;    // name -> type, when copied
    std::vector<std::string> pageImages_;                         // each page's image name
    std::optional<std::string> coverName_;
    // Members of archives are unpacked after the pages are named, one pass
    // per archive: the archives in the order they first appear, and each
    // page that shows a member (page number, image name).
    std::vector<std::string> archives_;
    std::unordered_map<std::string, std::vector<pages::MemberCopy>> membersOf_;
    std::vector<std::pair<int, std::string>> memberPages_;
    std::unordered_map<std::string, std::string> renamedImages_;  // fitted: old -> new name
    std::uint64_t imagesDone_ = 0, imagesTotal_ = 0;
    // Deflates each staged image while the rest of the book is made; lives
    // for one run.
    std::unique_ptr<zip::DeflateCache> deflateCache_;
};

// The container files a reader needs beside the package document, as they
// are installed in the staging directory: "mimetype" holding exactly
// "application/epub+zip" and "META-INF/container.xml" naming OEBPS/fb.opf.
// Empty when both are there, otherwise the path of the first one that is
// missing or damaged.
std::string missingContainerFile(const std::string& stagingDir);

// The media type of an image file by its first bytes: "image/png",
// "image/jpeg", "image/gif", or "application/octet-stream" for anything else
// (and for what cannot be read).
std::string imageMediaType(const std::string& path);
// The same for a page: a file's first bytes, or what an archive member's
// showed when the archive was listed.
std::string sourceMediaType(const pages::Page& page);

// Removes the content directory left by the last run, as closing the program
// does. Skipped while another process converts. False (with the reason in
// *error) when the directory exists and could not be removed.
// progress (when given) hears how far the removal is.
bool removeContentDirectory(const std::string& stagingDir, std::string* error,
                            const platform::TreeProgress& progress = {});

// True when the title says something: not empty, not blanks only, and not
// starting with '.' (the book would be a hidden file).
bool titleGiven(const std::string& title);

// True when title + ".epub" can be one file name in a folder here.
bool titleUsableAsFileName(const std::string& title);

// True when path lies in (or is) dir, after resolving links and "..", or
// when path or a folder above it is dir under another name (a bind mount:
// the same device and inode).
bool pathInside(const std::string& path, const std::string& dir);

}  // namespace pagelume::epub
