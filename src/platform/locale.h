#pragma once

#include <string>

namespace pagelume::platform {

// Language and country of the process locale (LC_ALL, then LC_MESSAGES,
// then LANG), joined by '-': "en-US" for en_US.UTF-8. The POSIX locale
// counts as en-US; a part that is missing stays empty ("de-" for "de").
// Asked afresh on every call.
std::string languageTag();

}  // namespace pagelume::platform
