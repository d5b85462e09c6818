#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pagelume::platform {

// Orders names as people read them: a run of digits compares by its value
// ("p2" before "p10"), letters compare without regard to case. Names that are
// equal that way ("p01" and "p1", "A" and "a") are ordered by their plain
// bytes, so the order is total and does not depend on where they started.
// Case folding is ASCII only; other bytes compare by value.
int naturalCompare(std::string_view a, std::string_view b);

inline bool naturalLess(std::string_view a, std::string_view b) {
    return naturalCompare(a, b) < 0;
}

void sortNaturally(std::vector<std::string>& names);

}  // namespace pagelume::platform
