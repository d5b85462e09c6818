#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/settings.h"

class QApplication;

namespace pagelume::app {

class TForm1;

// The desktop's name for the program: its desktop entry, icon and metadata.
#ifndef PAGELUME_APP_ID
#define PAGELUME_APP_ID "io.github.pagelume.Pagelume"
#endif
inline constexpr const char* kAppId = PAGELUME_APP_ID;

// What the arguments ask for before the command-line front end sees them:
//   (none)                   the window
//   --gui [--] [FILE...]     the window, with FILE... as its first pages
//   --gui LIST.pagelume      the window, with a saved page list
//   --paths                  print the settings file and staging directory
// Anything else is a conversion on the command line.
struct StartRequest {
    enum class Kind { Window, CommandLine, Paths, BadUsage };
    Kind kind = Kind::Window;
    std::vector<std::string> pages;  // --gui: the files, in the order given
    std::string problem;             // BadUsage: why
    // False when the answer needs no staging directory (--help, --version),
    // so that nothing is created for it.
    bool usesStaging = true;
};
StartRequest parseStartRequest(const std::vector<std::string>& args);

// Answers --paths (status 0) and bad usage (status 2).
int answerStartRequest(const StartRequest& request, const ProgramPaths& paths, std::ostream& out,
                       std::ostream& err);

// Puts the files into the page list, in order, as Add does; a saved page
// list given alone is opened as Open List does.
void addStartPages(TForm1& form, const std::vector<std::string>& files);

// Why the window cannot be opened with this environment (no display for the
// platform Qt would use), or empty when it can be tried.
std::string missingDisplay(const Environment& env);

// Tells the desktop which entry and icon the window belongs to.
void setDesktopIdentity(QApplication& app);

}  // namespace pagelume::app
