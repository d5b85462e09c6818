#include "app/cli.h"

#include <algorithm>
#include <istream>
#include <ostream>
#include <utility>

#include "app/errortext.h"
#include "app/signals.h"
#include "epub/book_details.h"
#include "epub/conversion_run.h"
#include "epub/saved_list.h"
#include "epub/texts.h"
#include "fit/devices.h"
#include "pages/comic_archive.h"
#include "pages/page_model.h"
#include "pages/page_sources.h"
#include "platform/files.h"

namespace pagelume::app {

namespace {

const char* kUsage =
    "Usage: pagelume [--title T] [--author A] [--cover FILE] [--output DIR] [--yes] [--sort]\n"
    "                [--strict | --fixed-layout [--right-to-left]] [--quiet]\n"
    "                [--language TAG] [--series NAME [--series-index N]] [--description TEXT]\n"
    "                [--no-folder-chapters] [--chapter TITLE] PAGE...\n"
    "       pagelume --each --output DIR [--author A] [options] SOURCE...\n"
    "       pagelume            (no arguments: opens the window)\n"
    "       pagelume [options] LIST.pagelume   makes the book a saved page list describes\n"
    "       pagelume --gui [FILE...]   opens the window with FILE... as its pages\n"
    "       pagelume --gui LIST.pagelume   opens the window with a saved page list\n"
    "       pagelume --paths           shows the settings file and staging folder in use\n"
    "\n"
    "Turns the page images (PNG, JPEG, GIF), in the order given, into DIR/T.epub. A PAGE\n"
    "that is a folder stands for the page images in it and in its subfolders, in natural\n"
    "order of their paths (p2 before p10); a comic archive (.cbz, .cbr, .cb7, .cbt, or\n"
    ".zip, .rar, .7z, .tar) for the page images inside it. When they come from more than\n"
    "one folder, each folder's first page starts a chapter named after the folder. Title\n"
    "and author default to the archive's ComicInfo.xml.\n"
    "\n"
    "  --title T      the book's title, also the file name of the book\n"
    "  --author A     the author's name\n"
    "  --cover FILE   an image to use as the cover (optional)\n"
    "  --output DIR   the folder the book is saved to (created if missing)\n"
    "  --yes          replace an existing book of the same name without asking\n"
    "  --quiet        no progress line on the terminal\n"
    "  --sort         put all pages in natural order of their paths\n"
    "  --strict       make a strict book, for e-book stores and validators (every\n"
    "                 page a PNG, JPEG or GIF image)\n"
    "  --fixed-layout make a fixed-layout EPUB 3 book: every page fills the screen,\n"
    "                 two pages side by side in landscape (checked as --strict is)\n"
    "  --right-to-left  with --fixed-layout: pages turn to the left (manga)\n"
    "  --chapter TITLE  the next PAGE starts a chapter of the book's contents\n"
    "  --no-folder-chapters  no chapters from the folders of folders and archives\n"
    "  --language TAG the book's language, a BCP 47 tag such as ja or fr-CA\n"
    "                 (default: the system's)\n"
    "  --series NAME  the series the book belongs to\n"
    "  --series-index N  its number in the series (3, or 2.5)\n"
    "  --description TEXT  what the book is about, for the reader's library\n"
    "  --fit SCREEN   fit every page to a reader's screen: a device from\n"
    "                 --list-devices, or WIDTHxHEIGHT; pages larger than it are\n"
    "                 scaled down and written as JPEG\n"
    "  --grey         with --fit (or alone): pages in 8-bit grey\n"
    "  --quality N    the JPEG quality of fitted pages, 1-100 (default 85)\n"
    "  --list-devices show the devices --fit knows, with their screens\n"
    "  --each         one book per SOURCE (a comic archive or a folder), titled after\n"
    "                 its ComicInfo.xml or its name; not with --title or --cover\n"
    "  --help         show this text\n"
    "  --version      show the program's version\n"
    "\n"
    "A saved page list (a file ending in .pagelume, saved from the window) gives the\n"
    "pages, chapters, title, author, cover, output folder, kind of book, fitting and\n"
    "details; options given here win over the list's. It is converted on its own:\n"
    "no other PAGE may be given with it.\n"
    "\n"
    "A page whose image cannot be read is reported as a warning; the book is built\n"
    "without that image.\n"
    "\n"
    "Exit status: 0 the book (with --each: every book) was built, 1 the conversion\n"
    "stopped or failed, 2 bad usage,\n"
    "128 + N when signal N (Ctrl-C: 130) stopped it; nothing of the new book is left then.\n";

struct Options {
    std::string title, author, cover, output;
    bool yes = false;
    bool quiet = false;
    bool sort = false;
    bool strict = false;
    bool fixedLayout = false;
    bool rightToLeft = false;
    bool each = false;
    bool grey = false;
    bool listDevices = false;
    bool noFolderChapters = false;
    std::string fitText, qualityText;
    epub::BookDetails details;
    std::optional<fit::FitOptions> fitting;  // settled from the three above
    std::vector<std::string> pages;          // as given: files, folders, archives
    std::vector<std::string> chapters;       // for each of pages: the chapter it starts, or ""
};

// One book to make: the options, with the pages found and the title and
// author settled.
struct BookJob {
    const Options& o;
    pages::PageModel pages;
    std::string title, author;
};

class CommandLineBook : public epub::BookSource {
public:
    explicit CommandLineBook(const BookJob& job) : job_(job) {}
    int pageCount() const override { return job_.pages.size(); }
    std::string pagePath(int i) const override { return job_.pages.at(i).file; }
    pages::Page page(int i) const override { return job_.pages.at(i); }
    std::string title() const override { return job_.title; }
    std::string author() const override { return job_.author; }
    std::string coverPath() const override { return job_.o.cover; }
    std::string savePath() const override { return job_.o.output; }
    epub::BookKind kind() const override {
        return job_.o.fixedLayout ? epub::BookKind::FixedLayout
               : job_.o.strict    ? epub::BookKind::Strict
                                  : epub::BookKind::Default;
    }
    bool rightToLeft() const override { return job_.o.rightToLeft; }
    std::optional<fit::FitOptions> fitting() const override { return job_.o.fitting; }
    epub::BookDetails details() const override { return job_.o.details; }

private:
    const BookJob& job_;
};

class CommandLineHost : public epub::RunHost {
public:
    CommandLineHost(const Options& o, std::istream& in, std::ostream& err, bool interactive,
                    bool progressLine, bool errIsTerminal)
        : o_(o),
          in_(in),
          err_(err),
          interactive_(interactive),
          progressLine_(progressLine),
          terminal_(errIsTerminal) {}
    ~CommandLineHost() override { clearLine(); }

    void showMessage(const std::string& text, const std::string&) override { say(text); }
    bool askYesNo(const std::string& text, const std::string&) override {
        if (o_.yes)
            return true;
        clearLine();
        if (!interactive_) {
            err_ << shown(text) << " No (use --yes to replace it)\n";
            return false;
        }
        err_ << shown(text) << " [y/N] " << std::flush;
        std::string answer;
        std::getline(in_, answer);  // a signal ends the wait: the answer is No
        return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
    }
    void showError(const std::string& text) override { say(text); }
    void setBusy(bool) override {}
    void processEvents() override {
        if (InterruptSignals::received())
            throw epub::ERunInterrupted("interrupted");
    }
    void progress(epub::RunStage stage, std::uint64_t done, std::uint64_t total) override {
        if (!progressLine_ || total == 0)
            return;
        const std::uint64_t percent = std::min<std::uint64_t>(done, total) * 100 / total;
        std::string line =
            stage == epub::RunStage::Copying
                ? "Copying pages: " + std::to_string(done) + " of " + std::to_string(total)
            : stage == epub::RunStage::Packing
                ? "Packing the book: " + std::to_string(percent) + "%"
                : "Removing the staged files: " + std::to_string(percent) + "%";
        // Redrawn only when it changes, and copying only by whole percents.
        if (stage == epub::RunStage::Copying && percent == lastPercent_ && done != total &&
            lineShown_)
            return;
        if (line == line_)
            return;
        lastPercent_ = percent;
        line_ = line;
        err_ << "\r\033[K" << line << std::flush;
        lineShown_ = true;
    }
    void imageNotCopied(int page, const std::string& path, const std::string& reason) override {
        say("warning: " + (page > 0 ? "page " + std::to_string(page) : std::string("cover")) +
            ": " + path + ": " + reason);
    }
    void openFolder(const std::string&) override {}  // scripts do not want a file manager

    // Text as it may reach err: on a terminal, without its control characters.
    std::string shown(const std::string& text) const {
        return terminal_ ? terminalText(text) : text;
    }

    // Before anything else is written to the terminal.
    void clearLine() {
        if (lineShown_)
            err_ << "\r\033[K" << std::flush;
        lineShown_ = false;
        line_.clear();
    }

private:
    void say(const std::string& text) {
        clearLine();
        err_ << shown(text) << "\n";
    }

    const Options& o_;
    std::istream& in_;
    std::ostream& err_;
    bool interactive_;
    bool progressLine_;
    bool terminal_;
    bool lineShown_ = false;
    std::string line_;
    std::uint64_t lastPercent_ = 0;
};

// Parses the arguments; returns false with a reason for bad usage.
bool parse(const std::vector<std::string>& args, Options& o, std::string& problem, bool& help,
           bool& version) {
    bool optionsEnded = false;
    std::string chapter;  // waiting for its page
    bool chapterGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            o.pages.push_back(a);
            o.chapters.push_back(std::exchange(chapter, {}));
            chapterGiven = false;
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
        } else if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--version") {
            version = true;
        } else if (a == "--yes" || a == "-y") {
            o.yes = true;
        } else if (a == "--quiet" || a == "-q") {
            o.quiet = true;
        } else if (a == "--sort") {
            o.sort = true;
        } else if (a == "--strict") {
            o.strict = true;
        } else if (a == "--grey") {
            o.grey = true;
        } else if (a == "--list-devices") {
            o.listDevices = true;
        } else if (a == "--each") {
            o.each = true;
        } else if (a == "--fixed-layout") {
            o.fixedLayout = true;
        } else if (a == "--right-to-left") {
            o.rightToLeft = true;
        } else if (a == "--no-folder-chapters") {
            o.noFolderChapters = true;
        } else {
            std::string name = a, value;
            bool inlineValue = false;
            if (auto eq = a.find('='); eq != std::string::npos) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
                inlineValue = true;
            }
            std::string* target = name == "--title"          ? &o.title
                                  : name == "--author"       ? &o.author
                                  : name == "--cover"        ? &o.cover
                                  : name == "--output"       ? &o.output
                                  : name == "--fit"          ? &o.fitText
                                  : name == "--quality"      ? &o.qualityText
                                  : name == "--chapter"      ? &chapter
                                  : name == "--language"     ? &o.details.language
                                  : name == "--series"       ? &o.details.series
                                  : name == "--series-index" ? &o.details.seriesIndex
                                  : name == "--description"  ? &o.details.description
                                                             : nullptr;
            if (!target) {
                problem = "unknown option " + name;
                return false;
            }
            if (!inlineValue) {
                if (i + 1 >= args.size()) {
                    problem = name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            *target = value;
            if (target == &chapter) {
                if (value.find_first_not_of(" \t") == std::string::npos) {
                    problem = "--chapter needs a title";
                    return false;
                }
                chapterGiven = true;
            }
        }
    }
    if (chapterGiven) {
        problem = "--chapter needs a PAGE after it";
        return false;
    }
    if (!o.details.language.empty() && !epub::isLanguageTag(o.details.language)) {
        problem = "--language: not a language tag (such as ja or fr-CA): " + o.details.language;
        return false;
    }
    if (!o.details.seriesIndex.empty()) {
        if (!epub::isSeriesIndex(o.details.seriesIndex)) {
            problem = "--series-index: not a number (such as 3 or 2.5): " + o.details.seriesIndex;
            return false;
        }
        if (o.details.series.empty()) {
            problem = "--series-index needs --series";
            return false;
        }
    }
    // One kind of book at a time; the reading direction is a fixed layout's.
    if (o.strict && o.fixedLayout) {
        problem = "--strict and --fixed-layout cannot be combined";
        return false;
    }
    if (o.rightToLeft && !o.fixedLayout) {
        problem = "--right-to-left needs --fixed-layout";
        return false;
    }
    // Fitting: a screen, or grey alone (pages at their own size, in grey).
    if (!o.fitText.empty() || o.grey || !o.qualityText.empty()) {
        fit::FitOptions f;
        if (!o.fitText.empty()) {
            const auto box = fit::parseFitBox(o.fitText, &problem);
            if (!box)
                return false;
            f.boxWidth = box->width;
            f.boxHeight = box->height;
        } else if (o.grey) {
            f.boxWidth = f.boxHeight = 16384;
        } else {
            problem = "--quality needs --fit or --grey";
            return false;
        }
        if (!o.qualityText.empty()) {
            const auto quality = fit::parseQuality(o.qualityText, &problem);
            if (!quality)
                return false;
            f.quality = *quality;
        }
        f.grey = o.grey;
        o.fitting = f;
    }
    return true;
}

// Where the command line writes: standard error, with control characters in
// names shown as escapes when it is a terminal.
struct ErrorOutput {
    std::ostream& err;
    bool terminal;
    std::string shown(const std::string& text) const {
        return terminal ? terminalText(text) : text;
    }
};

// Runs one conversion; Built, or what stopped it. A signal leaves as
// ERunInterrupted after the staging folder is cleaned.
epub::RunResult convertBook(const BookJob& job, const std::string& stagingDir, std::istream& in,
                            const ErrorOutput& out, bool interactive) {
    CommandLineBook book(job);
    epub::RunResult result = epub::RunResult::Failed;
    CommandLineHost host(job.o, in, out.err, interactive, out.terminal && !job.o.quiet,
                         out.terminal);
    try {
        epub::ConversionRun run(book, host, stagingDir);
        result = run.run();
        if (result == epub::RunResult::Failed && !run.failureReason().empty())
            out.err << out.shown(run.failureReason()) << "\n";
    } catch (const epub::ERunInterrupted&) {
        host.clearLine();
    } catch (const std::exception& e) {
        host.clearLine();
        out.err << out.shown(defaultErrorText(e.what())) << "\n";
    }
    // A book of many pages leaves many files behind; the line shows their removal.
    std::string reason;
    const bool removed = epub::removeContentDirectory(
        stagingDir, &reason, [&host](std::uint64_t done, std::uint64_t total) {
            host.progress(epub::RunStage::Cleaning, done, total);
        });
    host.clearLine();
    if (!removed)
        out.err << out.shown(texts::kCannotRemove + stagingDir + "/OEBPS: " + reason) << "\n";
    return result;
}

// The exit status after a signal, or -1 when none ended the work early.
int interruptedStatus(bool finished, std::ostream& err) {
    const int signal = InterruptSignals::received();
    // A signal after the book was finished changes nothing about it.
    if (!signal || finished)
        return -1;
    err << "pagelume: interrupted; no new book was written\n";
    return InterruptSignals::exitStatus(signal);
}

// The pages of the k-th source given, with its chapter marks as asked.
pages::SourcePages sourcePages(const Options& o, std::size_t k) {
    pages::SourcePages found = pages::pagesFrom(o.pages[k]);
    if (o.noFolderChapters)
        pages::clearChapterMarks(found.pages);
    if (!found.pages.empty() && !o.chapters[k].empty())
        found.pages.front().chapter = o.chapters[k];
    return found;
}

// The options with a saved list's values wherever the command line gave none.
Options withSavedList(const Options& o, const epub::SavedList& list) {
    Options m = o;
    const epub::BookDetails& d = list.details;
    const std::pair<std::string*, const std::string*> fields[] = {
        {&m.title, &list.title},
        {&m.author, &list.author},
        {&m.cover, &list.cover},
        {&m.output, &list.saveFolder},
        {&m.details.language, &d.language},
        {&m.details.series, &d.series},
        {&m.details.seriesIndex, &d.seriesIndex},
        {&m.details.description, &d.description},
    };
    for (const auto& [given, saved] : fields)
        if (given->empty())
            *given = *saved;
    // The kind of book goes as one: --strict alone makes no manga of a fixed layout.
    if (!o.strict && !o.fixedLayout) {
        m.strict = list.kind == epub::BookKind::Strict;
        m.fixedLayout = list.kind == epub::BookKind::FixedLayout;
        m.rightToLeft = m.fixedLayout && list.rightToLeft;
    }
    if (!m.fitting && (!list.fit.empty() || list.grey)) {
        fit::FitOptions f;
        f.boxWidth = f.boxHeight = 16384;  // grey alone: every page at its own size
        if (const auto box = fit::parseFitBox(list.fit)) {
            f.boxWidth = box->width;
            f.boxHeight = box->height;
        }
        f.grey = list.grey;
        m.fitting = f;
    }
    return m;
}

int convertOne(const Options& given, const std::string& stagingDir, std::istream& in,
               const ErrorOutput& out, bool interactive) {
    Options o = given;
    std::vector<pages::Page> listed;
    const bool fromList = o.pages.size() == 1 && epub::isSavedListName(o.pages[0]);
    if (fromList) {
        try {
            epub::SavedList list = epub::readSavedList(o.pages[0]);
            o = withSavedList(given, list);
            listed = std::move(list.pages);
            // --chapter before the list: its first page starts that chapter.
            if (!listed.empty() && !o.chapters[0].empty())
                listed.front().chapter = o.chapters[0];
        } catch (const std::exception& e) {
            out.err << "pagelume: " << out.shown(e.what()) << "\n";
            return 1;
        }
    }
    BookJob job{o, {}, o.title, o.author};
    pages::ComicInfo info;
    try {
        if (fromList)
            job.pages.append(std::move(listed));
        // Read whole before any page is taken; the first archive that
        // names a title or a writer gives them.
        bool infoTaken = false;
        for (std::size_t k = 0; !fromList && k < o.pages.size(); ++k) {
            pages::SourcePages found = sourcePages(o, k);
            if (!infoTaken && found.expanded &&
                (!found.info.title.empty() || !found.info.writer.empty())) {
                info = found.info;
                infoTaken = true;
            }
            job.pages.append(std::move(found.pages));
        }
    } catch (const std::exception& e) {
        out.err << "pagelume: " << out.shown(e.what()) << "\n";
        return 1;
    }
    if (o.sort)
        job.pages.reorder(job.pages.naturalOrder());
    if (job.title.empty())
        job.title = info.title;
    if (job.author.empty())
        job.author = info.writer;
    const bool built = convertBook(job, stagingDir, in, out, interactive) == epub::RunResult::Built;
    if (const int status = interruptedStatus(built, out.err); status >= 0)
        return status;
    return built ? 0 : 1;
}

// The name a source's book gets when its ComicInfo.xml names none: the
// file's or folder's name without its extension.
std::string titleFromSourceName(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::string name = platform::fileNamePart(path);
    if (!platform::directoryExists(path)) {
        const auto dot = name.find_last_of('.');
        if (dot != std::string::npos && dot > 0)
            name.erase(dot);
    }
    return name;
}

int convertEach(const Options& o, const std::string& stagingDir, std::istream& in,
                const ErrorOutput& out, bool interactive) {
    std::ostream& err = out.err;
    const std::size_t total = o.pages.size();
    std::size_t built = 0, skipped = 0, failed = 0;
    for (std::size_t k = 0; k < total; ++k) {
        const std::string& source = o.pages[k];
        if (!o.quiet)
            err << "Book " << k + 1 << " of " << total << ": " << out.shown(source) << "\n";
        BookJob job{o, {}, {}, o.author};
        pages::SourcePages found;
        try {
            found = sourcePages(o, k);
            if (!found.expanded)
                throw pages::ENotPageSource(source +
                                            ": not a comic archive or folder of page images");
        } catch (const std::exception& e) {
            err << "pagelume: " << out.shown(e.what()) << "\n";
            ++failed;
            continue;
        }
        job.pages.append(std::move(found.pages));
        if (o.sort)
            job.pages.reorder(job.pages.naturalOrder());
        job.title = found.info.title.empty() ? titleFromSourceName(source) : found.info.title;
        if (job.author.empty())
            job.author = found.info.writer;
        if (job.author.empty()) {
            err << out.shown(source) << ": " << texts::kAuthorEmpty << "\n";
            ++skipped;
            continue;
        }
        const epub::RunResult result = convertBook(job, stagingDir, in, out, interactive);
        if (const int status = interruptedStatus(false, err); status >= 0)
            return status;
        if (result == epub::RunResult::Built)
            ++built;
        else if (result == epub::RunResult::Failed)
            ++failed;
        else
            ++skipped;
    }
    err << built << (built == 1 ? " book" : " books") << " built, " << skipped << " skipped, "
        << failed << " failed\n";
    return built == total ? 0 : 1;
}

}  // namespace

int runCommandLine(const std::vector<std::string>& args, const std::string& stagingDir,
                   std::istream& in, std::ostream& out, std::ostream& err, bool interactive,
                   bool errIsTerminal) {
    Options o;
    std::string problem;
    bool help = false, version = false;
    if (!parse(args, o, problem, help, version)) {
        err << "pagelume: " << problem << "\n" << kUsage;
        return 2;
    }
    if (help) {
        out << kUsage;
        return 0;
    }
    if (version) {
        out << texts::kProgramTitle << "\n";
        return 0;
    }
    if (o.listDevices) {
        out << fit::deviceListText();
        return 0;
    }
    if (o.each && (!o.title.empty() || !o.cover.empty())) {
        err << "pagelume: --each takes the titles from the sources; --title and --cover are "
               "refused\n"
            << kUsage;
        return 2;
    }
    if (o.pages.empty()) {
        err << "pagelume: no pages given\n" << kUsage;
        return 2;
    }
    // A list is the whole book: pages beside it would have no place in its chapters.
    if (o.pages.size() > 1 && std::any_of(o.pages.begin(), o.pages.end(), epub::isSavedListName)) {
        err << "pagelume: a page list is converted on its own, without other pages\n" << kUsage;
        return 2;
    }
    InterruptSignals interrupts;
    const ErrorOutput messages{err, errIsTerminal};
    return o.each ? convertEach(o, stagingDir, in, messages, interactive)
                  : convertOne(o, stagingDir, in, messages, interactive);
}

}  // namespace pagelume::app
