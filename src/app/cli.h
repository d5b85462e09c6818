#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace pagelume::app {

// The command-line front end: converts without a window.
//   pagelume [--title T] [--author A] [--cover FILE] [--output DIR] [--yes] [--sort]
//            [--strict | --fixed-layout [--right-to-left]] [--quiet]
//            PAGE...
// Exit status: 0 book built, 1 the run stopped at a check or failed, 2 bad usage,
// 128 + N when signal N (SIGINT, SIGTERM, SIGHUP) stopped it.
// stagingDir is the epubfiles folder in use (see ProgramPaths). interactive: the
// overwrite question may be asked on in; errIsTerminal: err shows a progress line.
int runCommandLine(const std::vector<std::string>& args, const std::string& stagingDir,
                   std::istream& in, std::ostream& out, std::ostream& err, bool interactive,
                   bool errIsTerminal = false);

}  // namespace pagelume::app
