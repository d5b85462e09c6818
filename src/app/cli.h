#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace pagelume::app {

// The command-line front end: converts without a window.
//   pagelume [--title T] [--author A] [--cover FILE] [--output DIR] [--yes] [--sort] PAGE...
// Exit status: 0 book built, 1 the run stopped at a check or failed, 2 bad usage.
// stagingDir is the epubfiles folder beside the program.
int runCommandLine(const std::vector<std::string>& args, const std::string& stagingDir,
                   std::istream& in, std::ostream& out, std::ostream& err, bool interactive);

}  // namespace pagelume::app
