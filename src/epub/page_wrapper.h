#pragma once

#include <string>

namespace pagelume::epub {

// The eleven CR LF terminated lines of the XHTML page that shows one image.
// The image name goes in as a reference (see imageReference); everything
// else is fixed text.
std::string pageWrapperText(const std::string& languageTag, const std::string& imageName);

// Writes the wrapper for imageName to path, replacing any file there.
// False when the file could not be written (the run goes on regardless).
bool writePageWrapper(const std::string& path, const std::string& imageName);

}  // namespace pagelume::epub
