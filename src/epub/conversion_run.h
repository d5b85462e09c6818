#pragma once

#include <optional>
#include <string>
#include <vector>

#include "epub/book.h"

namespace pagelume::epub {

enum class RunResult {
    Nothing,  // no pages: nothing done, nothing said
    Stopped,  // a check or the user's answer ended the run
    Failed,   // the book could not be written
    Built,    // the .epub is complete
};

// The names the page images get inside the book. The first file keeps its
// own name; a later, different file whose name is taken gets "stem-2.ext",
// "stem-3.ext", ...; the same file added again shares its first copy. Names
// are compared without regard to case (the archive does the same), and the
// names the book's own documents use are never handed out. Leading dots are
// dropped, since hidden files are not packed.
class ImageNamer {
public:
    explicit ImageNamer(int pageCount);
    std::string nameFor(const std::string& sourcePath);

private:
    bool taken(const std::string& name) const;
    std::vector<std::pair<std::string, std::string>> given_;  // source, name
    std::vector<std::string> reserved_;                       // upper-cased
};

// The Convert command: rebuilds the content directory, writes the pages,
// the cover, the package and navigation documents, checks the fields and
// packs the staging directory into <save path>/<title>.epub.
//
// Errors while building the documents leave as exceptions, for the caller's
// error box; everything else is reported through the host.
class ConversionRun {
public:
    ConversionRun(const BookSource& book, RunHost& host, std::string stagingDir);

    RunResult run();

    const std::string& contentDir() const { return contentDir_; }
    const std::string& outputPath() const { return outputPath_; }
    // Why packing failed, when it did (for logs and the command line).
    const std::string& failureReason() const { return failureReason_; }

private:
    bool checkFields();
    bool pack();

    const BookSource& book_;
    RunHost& host_;
    std::string stagingDir_;
    std::string contentDir_;
    std::string outputPath_;
    std::string failureReason_;
};

// Removes the content directory left by the last run, as closing the program
// does. Skipped while another process converts. False (with the reason in
// *error) when the directory exists and could not be removed.
bool removeContentDirectory(const std::string& stagingDir, std::string* error);

// True when title + ".epub" can be one file name in a folder here.
bool titleUsableAsFileName(const std::string& title);

// True when path lies in (or is) dir, after resolving links and "..".
bool pathInside(const std::string& path, const std::string& dir);

}  // namespace pagelume::epub
