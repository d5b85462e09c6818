#pragma once

#include <string>

namespace pagelume::platform {

// Today's date in the user's short date format, read once per process.
// The POSIX locale counts as en_US (month/day/year).
std::string shortDateString();

// Today's date as YYYY-MM-DD.
std::string isoDateString();

}  // namespace pagelume::platform
