#pragma once

#include <string>
#include <string_view>
#include <vector>

// Pages given as folders: the PNG files directly inside, in natural order.
namespace pagelume::platform {

// Whether a file name ends in ".png", in any case.
bool hasPngExtension(std::string_view name);

// The PNG files directly in a folder (its subfolders are not entered), as
// dir + "/" + name, in natural order of their names. Files whose names start
// with '.' are hidden from the user and left out. Throws EInOutError when the
// folder cannot be read.
std::vector<std::string> pngFilesIn(const std::string& dir);

// Replaces every folder in a list of pages by its PNG files, at its place.
// Anything else stays as it is.
std::vector<std::string> expandFolders(const std::vector<std::string>& pages);

}  // namespace pagelume::platform
