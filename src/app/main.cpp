#include <unistd.h>
#include <QApplication>
#include <iostream>

#include "app/Unit1.h"
#include "app/cli.h"
#include "app/settings.h"
#include "app/startup.h"
#include "platform/files.h"

namespace {

// Exceptions must not cross Qt's event dispatch; the ones that reach it are
// shown the way the window shows every other error, and the window goes on.
class PagelumeApplication : public QApplication {
public:
    using QApplication::QApplication;
    pagelume::app::TForm1* form = nullptr;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            if (form)
                form->showDefaultError(e);
            return false;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    using pagelume::app::StartRequest;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto paths = pagelume::app::ProgramPaths::forProgramIn(pagelume::platform::exeDir());
    const StartRequest start = pagelume::app::parseStartRequest(args);
    if (start.kind == StartRequest::Kind::Paths || start.kind == StartRequest::Kind::BadUsage)
        return pagelume::app::answerStartRequest(start, paths, std::cout, std::cerr);
    if (std::string problem;
        start.usesStaging && !pagelume::app::prepareStagingDirectory(paths, &problem))
        std::cerr << "pagelume: " << problem << "\n";

    if (start.kind == StartRequest::Kind::CommandLine) {
        return pagelume::app::runCommandLine(args, paths.stagingDir, std::cin, std::cout, std::cerr,
                                             ::isatty(STDIN_FILENO) && ::isatty(STDERR_FILENO));
    }

    PagelumeApplication app(argc, argv);
    pagelume::app::setDesktopIdentity(app);
    pagelume::app::QtDesktop desktop;
    pagelume::app::TForm1 form(paths, desktop);
    pagelume::app::addStartPages(form, start.pages);
    app.form = &form;
    form.show();
    const int status = app.exec();
    try {
        form.FormDestroy();
    } catch (const std::exception& e) {
        form.showDefaultError(e);
    }
    app.form = nullptr;
    return status;
}
