#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "pages/page.h"

namespace pagelume::pages {

// A page's bytes whole, for a preview: at most max of them, from a regular
// file or an archive member; nullopt with the reason otherwise.
std::optional<std::string> readPageBytes(const Page& page, std::size_t max, std::string* error);

}  // namespace pagelume::pages
