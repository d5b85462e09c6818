#include "epub/stylesheet.h"

#include "platform/files.h"

namespace pagelume::epub {

// max-width and max-height fit a large image without cropping and without
// distorting it (older reading systems know no object-fit); the image is a
// block, so no line box below it spills onto a second screen. The height is
// limited by the screen, not by percentages of the page: a reader that lays
// a page out in a frame of no height first and then sizes the frame to its
// content (epub.js when it scrolls) would otherwise shrink every image to
// nothing. Only a screen with a height limits it.
const char* const kStylesheet =
    "@page {\r\n"
    "\tmargin: 0;\r\n"
    "}\r\n"
    "html, body {\r\n"
    "\tmargin: 0;\r\n"
    "\tpadding: 0;\r\n"
    "}\r\n"
    "div {\r\n"
    "\tmargin: 0;\r\n"
    "\tpadding: 0;\r\n"
    "\ttext-align: center;\r\n"
    "\tpage-break-inside: avoid;\r\n"
    "\tbreak-inside: avoid;\r\n"
    "}\r\n"
    "img {\r\n"
    "\tdisplay: block;\r\n"
    "\tmargin: 0 auto;\r\n"
    "\tmax-width: 100%;\r\n"
    "\twidth: auto;\r\n"
    "\theight: auto;\r\n"
    "}\r\n"
    "@media (min-height: 1px) {\r\n"
    "\timg {\r\n"
    "\t\tmax-height: 100vh;\r\n"
    "\t}\r\n"
    "}\r\n";

bool writeStylesheet(const std::string& contentDir, std::string* error) {
    return platform::writeWholeFile(contentDir + "/stylesheet.css", kStylesheet, error);
}

}  // namespace pagelume::epub
