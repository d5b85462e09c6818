#pragma once

#include <string>
#include <vector>

namespace pagelume::zip {

// File-name patterns with '*' (any run) and '?' (one character), matched
// without regard to ASCII case, as file masks are on the program's home
// platform.
bool matchesMask(const std::string& name, const std::string& mask);

// True when the path matches one of the patterns: a pattern holding a '/' is
// matched against the whole path, any other against the file name part.
bool matchesAny(const std::string& path, const std::vector<std::string>& patterns);

// Whether an item of a file list is a pattern rather than a plain path.
bool isPattern(const std::string& item);

}  // namespace pagelume::zip
