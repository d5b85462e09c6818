#pragma once

#include <string>

namespace pagelume::app {

// The text of the default error box: the exception's message, with a full
// stop added when its last character comes after '.' in code order.
std::string defaultErrorText(const std::string& message);

}  // namespace pagelume::app
