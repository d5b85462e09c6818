#include "app/startup.h"

#include <QApplication>
#include <QIcon>

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "app/Unit1.h"
#include "epub/saved_list.h"
#include "ui/pagelist.h"

namespace pagelume::app {

StartRequest parseStartRequest(const std::vector<std::string>& args) {
    StartRequest request;
    if (args.empty())
        return request;
    if (args[0] == "--paths") {
        request.usesStaging = false;
        if (args.size() > 1) {
            request.kind = StartRequest::Kind::BadUsage;
            request.problem = "--paths takes no other arguments";
        } else {
            request.kind = StartRequest::Kind::Paths;
        }
        return request;
    }
    if (args[0] != "--gui") {
        request.kind = StartRequest::Kind::CommandLine;
        for (std::size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
            const std::string& a = args[i];
            if (a == "--title" || a == "--author" || a == "--cover" || a == "--output")
                ++i;  // its value, whatever it looks like
            else if (a == "--help" || a == "-h" || a == "--version" || a == "--list-devices")
                request.usesStaging = false;
        }
        return request;
    }
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            // The window takes its book fields from its own controls.
            request.kind = StartRequest::Kind::BadUsage;
            request.usesStaging = false;
            request.problem = "--gui takes only page files, not " + a;
            return request;
        } else if (!a.empty()) {
            // The window shows full paths, and a row must still name the
            // same file whatever folder the program is in later.
            std::error_code ec;
            const std::filesystem::path full = std::filesystem::absolute(a, ec);
            request.pages.push_back(ec ? a : full.lexically_normal().string());
        }
    }
    if (request.pages.size() > 1 &&
        std::any_of(request.pages.begin(), request.pages.end(), epub::isSavedListName)) {
        request.kind = StartRequest::Kind::BadUsage;
        request.usesStaging = false;
        request.problem = "a page list opens on its own, without other pages";
    }
    return request;
}

int answerStartRequest(const StartRequest& request, const ProgramPaths& paths, std::ostream& out,
                       std::ostream& err) {
    if (request.kind == StartRequest::Kind::Paths) {
        out << "Settings: " << paths.configFile << "\n"
            << "Staging: " << paths.stagingDir << "\n";
        return 0;
    }
    err << "pagelume: " << request.problem << "\n"
        << "Usage: pagelume --gui [FILE...]   or   pagelume --paths   (see pagelume --help)\n";
    return 2;
}

void addStartPages(TForm1& form, const std::vector<std::string>& files) {
    // The names keep their bytes: a file whose name is not UTF-8 still opens.
    try {
        if (files.size() == 1 && epub::isSavedListName(files[0]))
            form.openList(files[0]);
        else
            form.addPages(form.ListView1->rowCount(), files, false);
    } catch (const std::exception& e) {
        form.showDefaultError(e);
    }
}

std::string missingDisplay(const Environment& env) {
    const auto set = [&](const char* name) {
        const char* value = env(name);
        return value && *value;
    };
    const char* platform = env("QT_QPA_PLATFORM");
    const std::string name = platform ? platform : "";
    // Other platforms (offscreen, vnc, eglfs, ...) need no display server.
    const bool needsDisplay =
        name.empty() || name.rfind("xcb", 0) == 0 || name.rfind("wayland", 0) == 0;
    if (!needsDisplay || set("DISPLAY") || set("WAYLAND_DISPLAY"))
        return {};
    return "cannot open the window: no display (is DISPLAY set?). To convert without a window, "
           "give pages on the command line; see pagelume --help.";
}

void setDesktopIdentity(QApplication& app) {
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kAppId));
    app.setWindowIcon(QIcon::fromTheme(QString::fromLatin1(kAppId)));
}

}  // namespace pagelume::app
