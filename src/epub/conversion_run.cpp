#include "epub/conversion_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <memory>
#include <system_error>
#include <unordered_map>

#include "epub/archive_request.h"
#include "fit/fit_pool.h"
#include "epub/book_identifier.h"
#include "epub/book_layout.h"
#include "epub/book_writer.h"
#include "epub/image_namer.h"
#include "epub/staging_lock.h"
#include "epub/texts.h"
#include "platform/files.h"
#include "platform/shortdate.h"
#include "zip/deflate_pool.h"
#include "zip/zip_writer.h"

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

// A small file's bytes, when it is a regular one of at most max bytes.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t max) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<std::string> text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) <= max) {
        std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        if (got == bytes.size())
            text = std::move(bytes);
    }
    ::close(fd);
    return text;
}

}  // namespace

std::string imageMediaType(const std::string& path) {
    unsigned char head[8] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    ssize_t got = 0;
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            got = ::read(fd, head, sizeof head);
        ::close(fd);
    }
    const auto starts = [&](std::initializer_list<unsigned char> magic) {
        return got >= static_cast<ssize_t>(magic.size()) &&
               std::equal(magic.begin(), magic.end(), head);
    };
    if (starts({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}))
        return "image/png";
    if (starts({0xFF, 0xD8, 0xFF}))
        return "image/jpeg";
    if (starts({'G', 'I', 'F', '8', '7', 'a'}) || starts({'G', 'I', 'F', '8', '9', 'a'}))
        return "image/gif";
    return "application/octet-stream";
}

std::string sourceMediaType(const pages::Page& page) {
    if (!page.inArchive())
        return imageMediaType(page.file);
    switch (page.kind) {
        case pages::ContentKind::Png:
            return "image/png";
        case pages::ContentKind::Jpeg:
            return "image/jpeg";
        case pages::ContentKind::Gif:
            return "image/gif";
        default:
            return "application/octet-stream";
    }
}

std::string missingContainerFile(const std::string& stagingDir) {
    const std::string mimetype = stagingDir + "/mimetype";
    if (readSmallFile(mimetype, 64) != std::optional<std::string>("application/epub+zip"))
        return mimetype;
    const std::string container = stagingDir + "/META-INF/container.xml";
    const auto text = readSmallFile(container, 64 * 1024);
    if (!text || text->find("full-path=\"OEBPS/fb.opf\"") == std::string::npos)
        return container;
    return std::string();
}

bool titleGiven(const std::string& title) {
    // Blanks of any kind: ASCII white space, the no-break and ideographic spaces.
    static constexpr const char* kBlanks[] = {" ",  "\t", "\n",       "\r",
                                              "\v", "\f", "\xC2\xA0", "\xE3\x80\x80"};
    std::size_t i = 0;
    while (i < title.size()) {
        std::size_t before = i;
        for (const char* blank : kBlanks) {
            if (title.compare(i, std::char_traits<char>::length(blank), blank) == 0) {
                i += std::char_traits<char>::length(blank);
                break;
            }
        }
        if (i == before)
            break;
    }
    // A leading dot would make the book a hidden file.
    return i < title.size() && title[0] != '.';
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
    if (dirEnd == d.end() || (std::next(dirEnd) == d.end() && dirEnd->empty()))
        return true;
    // The same folder under another name (a bind mount) is the same folder:
    // compare each existing folder on the way up with dir itself.
    struct stat target {};
    if (::stat(d.c_str(), &target) != 0)
        return false;
    for (fs::path up = p; !up.empty(); up = up.parent_path()) {
        struct stat st {};
        if (::stat(up.c_str(), &st) == 0 && st.st_dev == target.st_dev &&
            st.st_ino == target.st_ino)
            return true;
        if (up == up.root_path())
            break;
    }
    return false;
}

bool removeContentDirectory(const std::string& stagingDir, std::string* error,
                            const platform::TreeProgress& progress) {
    const std::string content = stagingDir + "/OEBPS";
    if (!platform::pathExists(content))
        return true;
    StagingLock lock(stagingDir);
    if (!lock.acquired())
        return true;  // another copy is converting: its tree, not ours
    return platform::removeTree(content, error, progress);
}

ConversionRun::ConversionRun(const BookSource& book, RunHost& host, std::string stagingDir)
    : book_(book), host_(host), stagingDir_(std::move(stagingDir)) {
    contentDir_ = stagingDir_ + "/OEBPS";
}

bool ConversionRun::checkFields() {
    const char* problem = nullptr;
    if (book_.savePath().empty())
        problem = texts::kSavePathEmpty;
    else if (!titleGiven(book_.title()))
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

// A strict book holds only images that every reading system shows.
bool ConversionRun::checkImageFormats() {
    const auto isImage = [&](const std::string& name) {
        const auto type = mediaTypes_.find(name);
        return type != mediaTypes_.end() && type->second != "application/octet-stream";
    };
    std::string problem;
    for (std::size_t i = 0; i < pageImages_.size() && problem.empty(); ++i) {
        if (!isImage(pageImages_[i]))
            problem = "Page " + std::to_string(i + 1) + texts::kNotAnImage +
                      book_.page(static_cast<int>(i)).displayName();
    }
    if (problem.empty() && coverName_ && !isImage(*coverName_))
        problem = texts::kCoverNotAnImage + std::string(texts::kNotAnImage) + book_.coverPath();
    if (!problem.empty())
        host_.showMessage(problem, texts::kNoteCaption);
    return problem.empty();
}

namespace {

// Empties a container and gives its memory back ("x = {}" keeps it).
template <typename T>
void releaseMemory(T& x) {
    T().swap(x);
}

}  // namespace

void ConversionRun::releasePageTables() {
    releaseMemory(failedCopies_);
    releaseMemory(mediaTypes_);
    releaseMemory(pageImages_);
    releaseMemory(archives_);
    releaseMemory(membersOf_);
    releaseMemory(memberPages_);
    releaseMemory(renamedImages_);
}

bool ConversionRun::pack() {
    host_.processEvents();
    return archiveRequest(
        stagingDir_, outputPath_,
        [this](std::uint64_t done, std::uint64_t total) {
            host_.progress(RunStage::Packing, done, total);
            host_.processEvents();
        },
        &failureReason_, deflateCache_.get());
}

// A page whose source cannot be read keeps its wrapper, as a missing image
// does; the host hears of it for every page that uses the image. A copy that
// cannot be written (a full disk) ends the run instead: the book would lack
// pages that are there.
void ConversionRun::copyImage(int page, const std::string& source, const std::string& name,
                              bool first) {
    if (first) {
        std::string reason;
        platform::CopyFault fault = platform::CopyFault::None;
        const std::string copy = contentDir_ + "/" + name;
        if (platform::copyFileNoOverwrite(source, copy, &reason, &fault)) {
            mediaTypes_.emplace(name, imageMediaType(copy));
            if (deflateCache_)
                deflateCache_->add(copy);
        }
        else if (fault == platform::CopyFault::Writing)
            stagingFault(copy, reason);  // the run ends after this page
        else
            failedCopies_.emplace(name, reason);
    }
    if (auto failed = failedCopies_.find(name); failed != failedCopies_.end())
        host_.imageNotCopied(page, source, failed->second);
    host_.progress(RunStage::Copying, ++imagesDone_, imagesTotal_);
    host_.processEvents();
}

void ConversionRun::planMemberCopy(int page, const pages::Page& source, const std::string& name,
                                   bool first) {
    if (first) {
        auto [at, fresh] = membersOf_.try_emplace(source.file);
        if (fresh)
            archives_.push_back(source.file);
        pages::MemberCopy copy;
        copy.member = source.member;
        copy.target = contentDir_ + "/" + name;
        at->second.push_back(std::move(copy));
    } else {
        host_.progress(RunStage::Copying, ++imagesDone_, imagesTotal_);
    }
    memberPages_.emplace_back(page, name);
}

void ConversionRun::copyMembers() {
    for (const std::string& archive : archives_) {
        std::vector<pages::MemberCopy>& wanted = membersOf_[archive];
        pages::extractMembers(archive, wanted, [&](const pages::MemberCopy& copy) {
            const std::string name = platform::fileNamePart(copy.target);
            if (copy.done) {
                mediaTypes_.emplace(name, imageMediaType(copy.target));
                if (deflateCache_)
                    deflateCache_->add(copy.target);
            }
            else if (copy.writeFailed)
                stagingFault(copy.target, copy.reason);
            else
                failedCopies_.emplace(name, copy.reason);
            host_.progress(RunStage::Copying, ++imagesDone_, imagesTotal_);
            host_.processEvents();
        });
        wanted = {};
        if (!stagingFault_.empty())
            return;  // the run ends: no warnings for a book that is not made
    }
    for (const auto& [page, name] : memberPages_) {
        if (auto failed = failedCopies_.find(name); failed != failedCopies_.end())
            host_.imageNotCopied(page, book_.page(page - 1).displayName(), failed->second);
    }
}

// Puts a fitted image (the file at fitted) in place of the copy named name:
// it gets that name with ".jpg", as the namer allows. Returns the new name.
std::string ConversionRun::takeFitted(const std::string& name, const std::string& fitted,
                                      ImageNamer& namer) {
    const auto dot = name.find_last_of('.');
    const std::string stem = dot != std::string::npos && dot != 0 ? name.substr(0, dot) : name;
    // A JPEG keeps its own name; anything else takes the next free one.
    const std::string newName =
        platform::equalsNoCase(name.substr(stem.size()), ".jpg")
            ? name
            : namer.nameForFile("fitted\n" + name, stem + ".jpg", "image/jpeg").name;
    std::error_code ec;
    if (newName != name)
        fs::remove(contentDir_ + "/" + name, ec);
    fs::rename(fitted, contentDir_ + "/" + newName, ec);
    if (ec) {
        stagingFault(contentDir_ + "/" + newName, ec.message());
        return name;
    }
    mediaTypes_.erase(name);
    mediaTypes_.emplace(newName, "image/jpeg");
    return newName;
}

// Every copied image fitted to the screen on a pool of workers, in page
// order; the pages follow their images' new names. An image that cannot be
// decoded is one that could not be copied.
void ConversionRun::fitImages(const fit::FitOptions& options, std::vector<std::string>& firstImages,
                              ImageNamer& namer) {
    std::vector<fit::FitJob> jobs;
    std::vector<std::size_t> which;  // the position in firstImages of each job
    for (std::size_t k = 0; k < firstImages.size(); ++k) {
        if (!mediaTypes_.count(firstImages[k]))
            continue;  // not copied
        jobs.push_back({contentDir_ + "/" + firstImages[k],
                        contentDir_ + "/.fitting-" + std::to_string(k) + ".jpg"});
        which.push_back(k);
    }
    std::unordered_map<std::string, std::string> renamed, failed;
    fit::FitPool pool(jobs, options, fit::defaultFitThreads());
    for (std::size_t i = 0; i < jobs.size() && stagingFault_.empty(); ++i) {
        const fit::FitResult result = *pool.next();
        std::string& name = firstImages[which[i]];
        if (result.status == fit::FitStatus::Written) {
            const std::string newName = takeFitted(name, jobs[i].output, namer);
            renamed.emplace(name, newName);
            name = newName;
        } else if (result.status == fit::FitStatus::Failed) {
            std::error_code ec;
            fs::remove(jobs[i].source, ec);
            mediaTypes_.erase(name);
            failedCopies_.emplace(name, result.reason);
            failed.emplace(name, result.reason);
        } else if (result.status == fit::FitStatus::Stopped) {
            throw ERunInterrupted("interrupted");
        }
        host_.processEvents();
    }
    for (std::size_t p = 0; p < pageImages_.size(); ++p) {
        std::string& image = pageImages_[p];
        if (auto to = renamed.find(image); to != renamed.end())
            image = to->second;
        else if (auto why = failed.find(image); why != failed.end())
            host_.imageNotCopied(static_cast<int>(p) + 1,
                                 book_.page(static_cast<int>(p)).displayName(), why->second);
    }
    renamedImages_ = std::move(renamed);
}

// The cover alone: it is fitted when it is an image of its own, and follows
// its page's image when it shares one.
std::string ConversionRun::fitCover(const fit::FitOptions& options, const std::string& name,
                                    ImageNamer& namer) {
    if (auto to = renamedImages_.find(name); to != renamedImages_.end())
        return to->second;
    if (!mediaTypes_.count(name) || failedCopies_.count(name))
        return name;
    const std::string out = contentDir_ + "/.fitting-cover.jpg";
    const fit::FitResult result = fit::fitPage(contentDir_ + "/" + name, out, options);
    if (result.status == fit::FitStatus::Written)
        return takeFitted(name, out, namer);
    if (result.status == fit::FitStatus::Failed) {
        std::error_code ec;
        fs::remove(contentDir_ + "/" + name, ec);
        mediaTypes_.erase(name);
        host_.imageNotCopied(0, book_.coverPath(), result.reason);
    }
    return name;
}

// Notes the first file that could not be written into the staging folder;
// always false.
bool ConversionRun::stagingFault(const std::string& path, const std::string& reason) {
    if (stagingFault_.empty())
        stagingFault_ = "Cannot write " + path + ": " + reason;
    return false;
}

// The book cannot be made whole: nothing goes to the save path, and nothing
// of it stays in the staging folder.
RunResult ConversionRun::stagingFailed(const std::string& reason) {
    failureReason_ = reason.empty() ? stagingFault_ : reason;
    platform::removeTree(contentDir_);
    outputPath_ = book_.savePath() + "/" + book_.title() + ".epub";
    host_.showMessage(texts::kBuildFailed + outputPath_, texts::kNoteCaption);
    return RunResult::Failed;
}

RunResult ConversionRun::run() {
    // The workers deflating ahead stop on every way out of the run.
    struct StopDeflating {
        std::unique_ptr<zip::DeflateCache>& cache;
        ~StopDeflating() { cache.reset(); }
    } stopDeflating{deflateCache_};
    return runSteps();
}

RunResult ConversionRun::runSteps() {
    const int n = book_.pageCount();
    if (n <= 0)
        return RunResult::Nothing;

    // A book without its container files opens in no reader.
    if (const std::string missing = missingContainerFile(stagingDir_); !missing.empty()) {
        host_.showMessage(texts::kNotInstalled + missing + texts::kNotInstalledEnd,
                          texts::kNoteCaption);
        return RunResult::Stopped;
    }

    StagingLock lock(stagingDir_);
    if (!lock.acquired()) {
        host_.showMessage(texts::kConversionBusy, texts::kNoteCaption);
        return RunResult::Stopped;
    }

    // Nothing of an earlier book may reach this one.
    if (platform::pathExists(contentDir_)) {
        std::string reason;
        // A large book leaves many files; removing them is shown as it goes.
        const auto cleaning = [this](std::uint64_t done, std::uint64_t total) {
            host_.progress(RunStage::Cleaning, done, total);
            host_.processEvents();
        };
        if (!platform::removeTree(contentDir_, &reason, cleaning)) {
            host_.showError(texts::kCannotRemove + contentDir_ + ": " + reason);
            return RunResult::Failed;
        }
    }
    if (!platform::createDirectories(contentDir_)) {
        stagingFault(contentDir_, platform::errorText(errno));
        return stagingFailed();
    }

    BusyCursor busy(host_);

    // Asked first: a screen that cannot be read stops the run before any copy.
    const std::optional<fit::FitOptions> fitting = book_.fitting();
    // Packing is mostly deflating the images: it starts with each copy, on
    // the archive step's threads, unless the images are to be replaced by
    // fitted ones. One thread packs as it always did.
    if (const int threads = zip::defaultDeflateThreads(); !fitting && threads > 1)
        deflateCache_ =
            std::make_unique<zip::DeflateCache>(stagingDir_, zip::kDefaultPackLevel, threads);
    const std::string coverPath = book_.coverPath();
    imagesTotal_ = static_cast<std::uint64_t>(n) + (coverPath.empty() ? 0 : 1);
    host_.progress(RunStage::Copying, 0, imagesTotal_);
    BookLayout layout;
    layout.pageCount = n;
    const std::unique_ptr<BookWriter> writer = makeBookWriter(book_, contentDir_);
    layout.strict = writer->validated();
    layout.details = book_.details();
    const std::string title = book_.title();
    ImageNamer namer(n, layout.strict);
    std::vector<std::string> firstImages;  // each image once, in page order
    firstImages.reserve(static_cast<std::size_t>(n));
    pageImages_.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const pages::Page source = book_.page(i);
        if (source.startsChapter())
            layout.chapters.push_back({i + 1, source.chapter});
        const ImageName image =
            namer.nameFor(source, layout.strict ? sourceMediaType(source) : std::string());
        if (source.inArchive())
            planMemberCopy(i + 1, source, image.name, image.first);
        else
            copyImage(i + 1, source.file, image.name, image.first);
        if (!stagingFault_.empty())
            return stagingFailed();
        if (image.first)
            firstImages.push_back(image.name);
        pageImages_.push_back(image.name);
    }
    copyMembers();
    if (fitting && stagingFault_.empty())
        fitImages(*fitting, firstImages, namer);
    if (!stagingFault_.empty())
        return stagingFailed();
    layout.images.reserve(firstImages.size());
    for (const std::string& name : firstImages)
        if (auto type = mediaTypes_.find(name); type != mediaTypes_.end())
            layout.images.push_back({name, type->second});
    // Every image is in place now: a fixed-layout page takes its size from it.
    for (int i = 0; i < n; ++i) {
        writer->writePage(i + 1, pageImages_[static_cast<std::size_t>(i)], book_.page(i).displayName());
        if (!writer->stagingFault().empty())
            return stagingFailed(writer->stagingFault());
    }

    if (!coverPath.empty()) {
        const ImageName image =
            namer.nameFor(coverPath, layout.strict ? imageMediaType(coverPath) : std::string());
        copyImage(0, coverPath, image.name, image.first);
        const std::string coverImage = fitting ? fitCover(*fitting, image.name, namer) : image.name;
        coverName_ = coverImage;
        if (!stagingFault_.empty())
            return stagingFailed();
        writer->writeCover(coverImage, coverPath);
        if (!writer->stagingFault().empty())
            return stagingFailed(writer->stagingFault());
        // The cover's image has its own item.
        std::erase_if(layout.images, [&](const BookImage& i) { return i.name == coverImage; });
        if (layout.strict)
            layout.coverMediaType = imageMediaType(contentDir_ + "/" + coverImage);
    }
    layout.coverName = coverName_;
    writer->writeStylesheet();
    if (!writer->stagingFault().empty())
        return stagingFailed(writer->stagingFault());

    if (layout.strict) {
        layout.date = platform::isoDateString();
        layout.identifier = bookIdentifier(title, book_.author());
    } else {
        layout.date = platform::shortDateString();
    }
    writer->writePackage(layout);
    writer->writeNavigation(layout);

    if (!checkFields() || (layout.strict && !checkImageFormats()))
        return RunResult::Stopped;
    if (const std::string problem = writer->problem(); !problem.empty()) {
        host_.showMessage(problem, texts::kNoteCaption);
        return RunResult::Stopped;
    }

    const std::string savePath = book_.savePath();
    platform::createDirectories(savePath);
    outputPath_ = savePath + "/" + book_.title() + ".epub";

    // An existing book is replaced only once the new one is complete, so it
    // is not deleted here.
    // A link that leads nowhere is a file of that name too; packing replaces
    // the link itself.
    if (platform::pathExists(outputPath_) && !platform::directoryExists(outputPath_)) {
        if (!host_.askYesNo(texts::kOverwriteQuestion, texts::kOverwriteCaption))
            return RunResult::Stopped;
    }

    // Packing a long book needs room for its entries; how its pages were
    // named and copied is not needed any more.
    namer = ImageNamer(0);
    releaseMemory(firstImages);
    layout = BookLayout();
    releasePageTables();
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
