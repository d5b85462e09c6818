#include "app/cli.h"

#include <istream>
#include <ostream>

#include "app/errortext.h"
#include "epub/conversion_run.h"
#include "epub/texts.h"
#include "platform/natural_order.h"
#include "platform/page_files.h"

namespace pagelume::app {

namespace {

const char* kUsage =
    "Usage: pagelume [--title T] [--author A] [--cover FILE] [--output DIR] [--yes] [--sort]\n"
    "                PAGE...\n"
    "       pagelume            (no arguments: opens the window)\n"
    "\n"
    "Turns the PNG pages, in the order given, into DIR/T.epub. A PAGE that is a folder\n"
    "stands for the PNG files directly in it, in natural order (p2 before p10).\n"
    "\n"
    "  --title T      the book's title, also the file name of the book\n"
    "  --author A     the author's name\n"
    "  --cover FILE   an image to use as the cover (optional)\n"
    "  --output DIR   the folder the book is saved to (created if missing)\n"
    "  --yes          replace an existing book of the same name without asking\n"
    "  --sort         put all pages in natural order of their paths\n"
    "  --help         show this text\n"
    "  --version      show the program's version\n"
    "\n"
    "Exit status: 0 the book was built, 1 the conversion stopped or failed, 2 bad usage.\n";

struct Options {
    std::string title, author, cover, output;
    bool yes = false;
    bool sort = false;
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

private:
    const Options& o_;
};

class CommandLineHost : public epub::RunHost {
public:
    CommandLineHost(const Options& o, std::istream& in, std::ostream& err, bool interactive)
        : o_(o), in_(in), err_(err), interactive_(interactive) {}
    void showMessage(const std::string& text, const std::string&) override { err_ << text << "\n"; }
    bool askYesNo(const std::string& text, const std::string&) override {
        if (o_.yes)
            return true;
        if (!interactive_) {
            err_ << text << " No (use --yes to replace it)\n";
            return false;
        }
        err_ << text << " [y/N] " << std::flush;
        std::string answer;
        std::getline(in_, answer);
        return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
    }
    void showError(const std::string& text) override { err_ << text << "\n"; }
    void setBusy(bool) override {}
    void processEvents() override {}
    void archiveProgress(std::uint64_t, std::uint64_t) override {}
    void openFolder(const std::string&) override {}  // scripts do not want a file manager

private:
    const Options& o_;
    std::istream& in_;
    std::ostream& err_;
    bool interactive_;
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
        } else if (a == "--sort") {
            o.sort = true;
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
                   std::istream& in, std::ostream& out, std::ostream& err, bool interactive) {
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
    try {
        o.pages = platform::expandFolders(o.pages);
    } catch (const std::exception& e) {
        err << "pagelume: " << e.what() << "\n";
        return 1;
    }
    if (o.sort)
        platform::sortNaturally(o.pages);
    if (o.pages.empty()) {
        err << "pagelume: no pages given\n" << kUsage;
        return 2;
    }

    CommandLineBook book(o);
    CommandLineHost host(o, in, err, interactive);
    int status = 1;
    try {
        epub::ConversionRun run(book, host, stagingDir);
        const epub::RunResult result = run.run();
        if (result == epub::RunResult::Failed && !run.failureReason().empty())
            err << run.failureReason() << "\n";
        status = result == epub::RunResult::Built ? 0 : 1;
    } catch (const std::exception& e) {
        err << defaultErrorText(e.what()) << "\n";
    }
    std::string reason;
    if (!epub::removeContentDirectory(stagingDir, &reason))
        err << texts::kCannotRemove << stagingDir << "/OEBPS: " << reason << "\n";
    return status;
}

}  // namespace pagelume::app
