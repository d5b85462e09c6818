#include "app/cli.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "app/errortext.h"
#include "app/signals.h"
#include "epub/conversion_run.h"
#include "epub/texts.h"
#include "platform/natural_order.h"
#include "platform/page_files.h"

namespace pagelume::app {

namespace {

const char* kUsage =
    "Usage: pagelume [--title T] [--author A] [--cover FILE] [--output DIR] [--yes] [--sort]\n"
    "                [--strict] [--quiet] PAGE...\n"
    "       pagelume            (no arguments: opens the window)\n"
    "       pagelume --gui [FILE...]   opens the window with FILE... as its pages\n"
    "       pagelume --paths           shows the settings file and staging folder in use\n"
    "\n"
    "Turns the PNG pages, in the order given, into DIR/T.epub. A PAGE that is a folder\n"
    "stands for the PNG files directly in it, in natural order (p2 before p10).\n"
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
    "  --help         show this text\n"
    "  --version      show the program's version\n"
    "\n"
    "A page whose image cannot be read is reported as a warning; the book is built\n"
    "without that image.\n"
    "\n"
    "Exit status: 0 the book was built, 1 the conversion stopped or failed, 2 bad usage,\n"
    "128 + N when signal N (Ctrl-C: 130) stopped it; nothing of the new book is left then.\n";

struct Options {
    std::string title, author, cover, output;
    bool yes = false;
    bool quiet = false;
    bool sort = false;
    bool strict = false;
    std::vector<std::string> pages;
};

class CommandLineBook : public epub::BookSource {
public:
    explicit CommandLineBook(const Options& o) : o_(o) {}
    int pageCount() const override { return static_cast<int>(o_.pages.size()); }
    std::string pagePath(int i) const override { return o_.pages.at(static_cast<std::size_t>(i)); }
    std::string title() const override { return o_.title; }
    std::string author() const override { return o_.author; }
    std::string coverPath() const override { return o_.cover; }
    std::string savePath() const override { return o_.output; }
    bool strict() const override { return o_.strict; }

private:
    const Options& o_;
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
    return true;
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
    const auto shown = [&](const std::string& text) {
        return errIsTerminal ? terminalText(text) : text;
    };
    try {
        o.pages = platform::expandFolders(o.pages);
    } catch (const std::exception& e) {
        err << "pagelume: " << shown(e.what()) << "\n";
        return 1;
    }
    if (o.sort)
        platform::sortNaturally(o.pages);
    if (o.pages.empty()) {
        err << "pagelume: no pages given\n" << kUsage;
        return 2;
    }

    InterruptSignals interrupts;
    CommandLineBook book(o);
    int status = 1;
    {
        CommandLineHost host(o, in, err, interactive, errIsTerminal && !o.quiet, errIsTerminal);
        try {
            epub::ConversionRun run(book, host, stagingDir);
            const epub::RunResult result = run.run();
            if (result == epub::RunResult::Failed && !run.failureReason().empty())
                err << shown(run.failureReason()) << "\n";
            status = result == epub::RunResult::Built ? 0 : 1;
        } catch (const epub::ERunInterrupted&) {
            host.clearLine();
        } catch (const std::exception& e) {
            host.clearLine();
            err << shown(defaultErrorText(e.what())) << "\n";
        }
        // A book of many pages leaves many files behind; the line shows their removal.
        std::string reason;
        const bool removed = epub::removeContentDirectory(
            stagingDir, &reason, [&host](std::uint64_t done, std::uint64_t total) {
                host.progress(epub::RunStage::Cleaning, done, total);
            });
        host.clearLine();
        if (!removed)
            err << shown(texts::kCannotRemove + stagingDir + "/OEBPS: " + reason) << "\n";
    }
    // A signal after the book was finished changes nothing about it.
    if (const int signal = InterruptSignals::received(); signal && status != 0) {
        err << "pagelume: interrupted; no new book was written\n";
        return InterruptSignals::exitStatus(signal);
    }
    return status;
}

}  // namespace pagelume::app
