#include "epub/conversion_run.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <system_error>

#include "epub/archive_request.h"
#include "epub/navigation_document.h"
#include "epub/package_document.h"
#include "epub/page_wrapper.h"
#include "epub/staging_lock.h"
#include "epub/texts.h"
#include "platform/files.h"
#include "platform/shortdate.h"

namespace pagelume::epub {

namespace fs = std::filesystem;

namespace {

// Restores the normal cursor on every way out of the run.
class BusyCursor {
public:
    explicit BusyCursor(RunHost& host) : host_(host) { host_.setBusy(true); }
    ~BusyCursor() { release(); }
    void release() {
        if (busy_)
            host_.setBusy(false);
        busy_ = false;
    }

private:
    RunHost& host_;
    bool busy_ = true;
};

std::string normalPath(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(fs::path(path), ec), ec);
    if (ec)
        p = fs::absolute(fs::path(path), ec).lexically_normal();
    return p.string();
}

bool sameSource(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    if (platform::fileExists(a) && platform::fileExists(b))
        return platform::sameFile(a, b);
    return normalPath(a) == normalPath(b);
}

}  // namespace

ImageNamer::ImageNamer(int pageCount) {
    for (const char* name : {"fb.opf", "fb.ncx", "cover.html"})
        reserved_.push_back(platform::asciiUpper(name));
    for (int n = 1; n <= pageCount; ++n)
        reserved_.push_back(platform::asciiUpper("page" + std::to_string(n) + ".html"));
}

bool ImageNamer::taken(const std::string& name) const {
    std::string upper = platform::asciiUpper(name);
    for (const auto& r : reserved_)
        if (r == upper)
            return true;
    for (const auto& [source, given] : given_)
        if (platform::asciiUpper(given) == upper)
            return true;
    return false;
}

std::string ImageNamer::nameFor(const std::string& sourcePath) {
    for (const auto& [source, given] : given_)
        if (sameSource(source, sourcePath))
            return given;
    std::string base = platform::fileNamePart(sourcePath);
    // A name starting with '.' is a hidden file here, and hidden files never
    // reach the archive: such an image goes in without its leading dots.
    const auto visible = base.find_first_not_of('.');
    if (visible != 0 && !base.empty())
        base = visible == std::string::npos ? "image" : base.substr(visible);
    std::string name = base;
    if (taken(name)) {
        auto dot = base.find_last_of('.');
        std::string stem = dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
        std::string ext = dot == std::string::npos || dot == 0 ? std::string() : base.substr(dot);
        for (int k = 2; taken(name); ++k)
            name = stem + "-" + std::to_string(k) + ext;
    }
    given_.emplace_back(sourcePath, name);
    return name;
}

bool titleUsableAsFileName(const std::string& title) {
    if (title.empty() || title == "." || title == "..")
        return false;
    if (title.find('/') != std::string::npos || title.find('\0') != std::string::npos)
        return false;
    return title.size() + 5 <= NAME_MAX;  // + ".epub"
}

bool pathInside(const std::string& path, const std::string& dir) {
    const fs::path p(normalPath(path)), d(normalPath(dir));
    auto [dirEnd, pathIt] = std::mismatch(d.begin(), d.end(), p.begin(), p.end());
    // A trailing empty component ("dir/") matches anything below dir.
    return dirEnd == d.end() || (std::next(dirEnd) == d.end() && dirEnd->empty());
}

bool removeContentDirectory(const std::string& stagingDir, std::string* error) {
    const std::string content = stagingDir + "/OEBPS";
    if (!platform::pathExists(content))
        return true;
    StagingLock lock(stagingDir);
    if (!lock.acquired())
        return true;  // another copy is converting: its tree, not ours
    return platform::removeTree(content, error);
}

ConversionRun::ConversionRun(const BookSource& book, RunHost& host, std::string stagingDir)
    : book_(book), host_(host), stagingDir_(std::move(stagingDir)) {
    contentDir_ = stagingDir_ + "/OEBPS";
}

bool ConversionRun::checkFields() {
    const char* problem = nullptr;
    if (book_.savePath().empty())
        problem = texts::kSavePathEmpty;
    else if (book_.title().empty())
        problem = texts::kTitleEmpty;
    else if (book_.author().empty())
        problem = texts::kAuthorEmpty;
    else if (!titleUsableAsFileName(book_.title()))
        problem = texts::kTitleNotFileName;
    else if (pathInside(book_.savePath(), stagingDir_))
        problem = texts::kSavePathInStaging;
    if (problem)
        host_.showMessage(problem, texts::kNoteCaption);
    return problem == nullptr;
}

bool ConversionRun::pack() {
    host_.processEvents();
    return archiveRequest(
        stagingDir_, outputPath_,
        [this](std::uint64_t done, std::uint64_t total) {
            host_.archiveProgress(done, total);
            host_.processEvents();
        },
        &failureReason_);
}

RunResult ConversionRun::run() {
    const int n = book_.pageCount();
    if (n <= 0)
        return RunResult::Nothing;

    StagingLock lock(stagingDir_);
    if (!lock.acquired()) {
        host_.showMessage(texts::kConversionBusy, texts::kNoteCaption);
        return RunResult::Stopped;
    }

    // Nothing of an earlier book may reach this one.
    if (platform::pathExists(contentDir_)) {
        std::string reason;
        if (!platform::removeTree(contentDir_, &reason)) {
            host_.showError(texts::kCannotRemove + contentDir_ + ": " + reason);
            return RunResult::Failed;
        }
    }
    platform::createDirectories(contentDir_);

    BusyCursor busy(host_);

    ImageNamer namer(n);
    for (int i = 0; i < n; ++i) {
        const std::string source = book_.pagePath(i);
        const std::string name = namer.nameFor(source);
        platform::copyFileNoOverwrite(source, contentDir_ + "/" + name);
        writePageWrapper(contentDir_ + "/page" + std::to_string(i + 1) + ".html", name);
    }

    std::optional<std::string> coverName;
    const std::string coverPath = book_.coverPath();
    if (!coverPath.empty()) {
        coverName = namer.nameFor(coverPath);
        platform::copyFileNoOverwrite(coverPath, contentDir_ + "/" + *coverName);
        writePageWrapper(contentDir_ + "/cover.html", *coverName);
    }

    writePackageDocument(book_, contentDir_, n, coverName, platform::shortDateString());
    writeNavigationDocument(book_, contentDir_, n, coverName);

    if (!checkFields())
        return RunResult::Stopped;

    const std::string savePath = book_.savePath();
    platform::createDirectories(savePath);
    outputPath_ = savePath + "/" + book_.title() + ".epub";

    // An existing book is replaced only once the new one is complete, so it
    // is not deleted here.
    if (platform::fileExists(outputPath_)) {
        if (!host_.askYesNo(texts::kOverwriteQuestion, texts::kOverwriteCaption))
            return RunResult::Stopped;
    }

    const bool packed = pack();
    busy.release();
    if (!packed) {
        host_.showMessage(texts::kBuildFailed + outputPath_, texts::kNoteCaption);
        return RunResult::Failed;
    }
    host_.showMessage(texts::kBuilt + outputPath_, texts::kBuiltCaption);
    host_.openFolder(savePath);
    return RunResult::Built;
}

}  // namespace pagelume::epub
