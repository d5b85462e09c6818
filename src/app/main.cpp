#include <unistd.h>
#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cstdlib>
#include <iostream>

#include "app/Unit1.h"
#include "app/cli.h"
#include "app/settings.h"
#include "app/signals.h"
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
    using pagelume::app::InterruptSignals;
    using pagelume::app::StartRequest;
    pagelume::app::openMissingStandardDescriptors();
    pagelume::app::ignoreFileSizeSignal();
    pagelume::app::ignoreBrokenPipeSignal();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto paths = pagelume::app::ProgramPaths::forProgramIn(pagelume::platform::exeDir());
    const StartRequest start = pagelume::app::parseStartRequest(args);
    if (start.kind == StartRequest::Kind::Paths || start.kind == StartRequest::Kind::BadUsage)
        return pagelume::app::answerStartRequest(start, paths, std::cout, std::cerr);
    if (std::string problem;
        start.usesStaging && !pagelume::app::stagingDirectoryIsPrivate(paths, &problem)) {
        std::cerr << "pagelume: " << problem << "\n";
        if (start.kind == StartRequest::Kind::Window &&
            pagelume::app::missingDisplay([](const char* name) {
                return std::getenv(name);
            }).empty()) {
            QApplication app(argc, argv);
            QMessageBox::critical(nullptr, QString::fromLatin1("Pagelume"),
                                  QString::fromStdString(problem));
        }
        return 1;
    }
    if (std::string problem;
        start.usesStaging && !pagelume::app::prepareStagingDirectory(paths, &problem))
        std::cerr << "pagelume: " << problem << "\n";

    if (start.kind == StartRequest::Kind::CommandLine) {
        return pagelume::app::runCommandLine(args, paths.stagingDir, std::cin, std::cout, std::cerr,
                                             ::isatty(STDIN_FILENO) && ::isatty(STDERR_FILENO),
                                             ::isatty(STDERR_FILENO));
    }

    // Without a display Qt would end the program with advice to reinstall it.
    if (const std::string problem =
            pagelume::app::missingDisplay([](const char* name) { return std::getenv(name); });
        !problem.empty()) {
        std::cerr << "pagelume: " << problem << "\n";
        return 1;
    }
    PagelumeApplication app(argc, argv);
    pagelume::app::setDesktopIdentity(app);
    pagelume::app::QtDesktop desktop;
    pagelume::app::TForm1 form(paths, desktop);
    pagelume::app::addStartPages(form, start.pages);
    app.form = &form;
    // The end of the session reaches us as a signal; the window then closes
    // the way it always does, after undoing a run in progress.
    InterruptSignals interrupts;
    QSocketNotifier notifier(InterruptSignals::notifyFd(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &form, [&form] {
        char drain[16];
        while (::read(InterruptSignals::notifyFd(), drain, sizeof drain) > 0) {
        }
        form.sessionEnding();
    });
    form.show();
    int status = app.exec();
    try {
        form.FormDestroy();
    } catch (const std::exception& e) {
        if (!InterruptSignals::received())
            form.showDefaultError(e);
    }
    app.form = nullptr;
    if (const int signal = InterruptSignals::received())
        status = InterruptSignals::exitStatus(signal);
    return status;
}
