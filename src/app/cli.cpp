#include "app/cli.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "app/errortext.h"
#include "app/signals.h"
#include "epub/conversion_run.h"
#include "epub/texts.h"
#include "pages/comic_archive.h"
#include "pages/page_model.h"
#include "pages/page_sources.h"
#include "platform/files.h"

namespace pagelume::app {

namespace {

const char* kUsage =
    "Usage: pagelume [--title T] [--author A] [--cover FILE] [--output DIR] [--yes] [--sort]\n"
    "                [--strict | --fixed-layout [--right-to-left]] [--quiet] PAGE...\n"
    "       pagelume --each --output DIR [--author A] [options] SOURCE...\n"
    "       pagelume            (no arguments: opens the window)\n"
    "       pagelume --gui [FILE...]   opens the window with FILE... as its pages\n"
    "       pagelume --paths           shows the settings file and staging folder in use\n"
    "\n"
    "Turns the page images (PNG, JPEG, GIF), in the order given, into DIR/T.epub. A PAGE\n"
    "that is a folder stands for the page images directly in it, in natural order (p2\n"
    "before p10); a comic archive (.cbz, .cbr, .cb7, .cbt, or .zip, .rar, .7z, .tar) for\n"
    "the page images inside it. Title and author default to the archive's ComicInfo.xml.\n"
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
    "  --each         one book per SOURCE (a comic archive or a folder), titled after\n"
    "                 its ComicInfo.xml or its name; not with --title or --cover\n"
    "  --help         show this text\n"
    "  --version      show the program's version\n"
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
    std::vector<std::string> pages;  // as given: files, folders, archives
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

private:
    const BookJob& job_;
};

class CommandLineHost : public epub::RunHost {
public:
    CommandLineHost(const Options& o, std::istream& in, std::ostream& err, bool interactive,
                    bool progressLine)
        : o_(o), in_(in), err_(err), interactive_(interactive), progressLine_(progressLine) {}
    ~CommandLineHost() override { clearLine(); }

    void showMessage(const std::string& text, const std::string&) override { say(text); }
    bool askYesNo(const std::string& text, const std::string&) override {
        if (o_.yes)
            return true;
        clearLine();
        if (!interactive_) {
            err_ << text << " No (use --yes to replace it)\n";
            return false;
        }
        err_ << text << " [y/N] " << std::flush;
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
        std::string line = stage == epub::RunStage::Copying
                               ? "Copying pages: " + std::to_string(done) + " of " +
                                     std::to_string(total)
                               : "Packing the book: " + std::to_string(percent) + "%";
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
        err_ << text << "\n";
    }

    const Options& o_;
    std::istream& in_;
    std::ostream& err_;
    bool interactive_;
    bool progressLine_;
    bool lineShown_ = false;
    std::string line_;
    std::uint64_t lastPercent_ = 0;
};

// Parses the arguments; returns false with a reason for bad usage.
bool parse(const std::vector<std::string>& args, Options& o, std::string& problem, bool& help,
           bool& version) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            o.pages.push_back(a);
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
        } else if (a == "--each") {
            o.each = true;
        } else if (a == "--fixed-layout") {
            o.fixedLayout = true;
        } else if (a == "--right-to-left") {
            o.rightToLeft = true;
        } else {
            std::string name = a, value;
            bool inlineValue = false;
            if (auto eq = a.find('='); eq != std::string::npos) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
                inlineValue = true;
            }
            std::string* target = name == "--title"    ? &o.title
                                  : name == "--author" ? &o.author
                                  : name == "--cover"  ? &o.cover
                                  : name == "--output" ? &o.output
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
    return true;
}

// Runs one conversion; Built, or what stopped it. A signal leaves as
// ERunInterrupted after the staging folder is cleaned.
epub::RunResult convertBook(const BookJob& job, const std::string& stagingDir, std::istream& in,
                            std::ostream& err, bool interactive, bool progressLine) {
    CommandLineBook book(job);
    epub::RunResult result = epub::RunResult::Failed;
    {
        CommandLineHost host(job.o, in, err, interactive, progressLine);
        try {
            epub::ConversionRun run(book, host, stagingDir);
            result = run.run();
            if (result == epub::RunResult::Failed && !run.failureReason().empty())
                err << run.failureReason() << "\n";
        } catch (const epub::ERunInterrupted&) {
            host.clearLine();
        } catch (const std::exception& e) {
            host.clearLine();
            err << defaultErrorText(e.what()) << "\n";
        }
    }
    std::string reason;
    if (!epub::removeContentDirectory(stagingDir, &reason))
        err << texts::kCannotRemove << stagingDir << "/OEBPS: " << reason << "\n";
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

int convertOne(const Options& o, const std::string& stagingDir, std::istream& in,
               std::ostream& err, bool interactive, bool errIsTerminal) {
    BookJob job{o, {}, o.title, o.author};
    pages::ComicInfo info;
    try {
        job.pages.append(pages::pagesFrom(o.pages, false, &info));
    } catch (const std::exception& e) {
        err << "pagelume: " << e.what() << "\n";
        return 1;
    }
    if (o.sort)
        job.pages.reorder(job.pages.naturalOrder());
    if (job.title.empty())
        job.title = info.title;
    if (job.author.empty())
        job.author = info.writer;
    const bool built = convertBook(job, stagingDir, in, err, interactive,
                                   errIsTerminal && !o.quiet) == epub::RunResult::Built;
    if (const int status = interruptedStatus(built, err); status >= 0)
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
                std::ostream& err, bool interactive, bool errIsTerminal) {
    const std::size_t total = o.pages.size();
    std::size_t built = 0, skipped = 0, failed = 0;
    for (std::size_t k = 0; k < total; ++k) {
        const std::string& source = o.pages[k];
        if (!o.quiet)
            err << "Book " << k + 1 << " of " << total << ": " << source << "\n";
        BookJob job{o, {}, {}, o.author};
        pages::SourcePages found;
        try {
            found = pages::pagesFrom(source);
            if (!found.expanded)
                throw pages::ENotPageSource(source + ": not a comic archive or folder of page images");
        } catch (const std::exception& e) {
            err << "pagelume: " << e.what() << "\n";
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
            err << source << ": " << texts::kAuthorEmpty << "\n";
            ++skipped;
            continue;
        }
        const epub::RunResult result =
            convertBook(job, stagingDir, in, err, interactive, errIsTerminal && !o.quiet);
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
    if (o.each && (!o.title.empty() || !o.cover.empty())) {
        err << "pagelume: --each takes the titles from the sources; --title and --cover are refused\n"
            << kUsage;
        return 2;
    }
    if (o.pages.empty()) {
        err << "pagelume: no pages given\n" << kUsage;
        return 2;
    }
    InterruptSignals interrupts;
    return o.each ? convertEach(o, stagingDir, in, err, interactive, errIsTerminal)
                  : convertOne(o, stagingDir, in, err, interactive, errIsTerminal);
}

}  // namespace pagelume::app
