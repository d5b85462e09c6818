#pragma once

#include <string>

namespace pagelume::app {

// The text of the default error box: the exception's message, with a full
// stop added when its last character comes after '.' in code order.
std::string defaultErrorText(const std::string& message);

}  // namespace pagelume::app

namespace pagelume::app {

// Text for a terminal: every control character (C0, DEL and the C1 range)
// shown as \x1b and so on, so that a file name cannot move the cursor,
// retitle or clear the terminal. Everything else stays as it is.
std::string terminalText(const std::string& text);

}  // namespace pagelume::app
