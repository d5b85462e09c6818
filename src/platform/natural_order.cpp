#include "platform/natural_order.h"

#include <algorithm>

namespace pagelume::platform {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

unsigned char folded(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

// Compares the digit runs a[i..) and b[j..) by value and moves past them.
// Values may be longer than any integer type: leading zeros are skipped and
// the remaining lengths decide before the digits do.
int compareNumbers(std::string_view a, std::size_t& i, std::string_view b, std::size_t& j) {
    auto run = [](std::string_view s, std::size_t& k) {
        const std::size_t start = k;
        while (k < s.size() && isDigit(s[k]))
            ++k;
        std::string_view digits = s.substr(start, k - start);
        const std::size_t nonZero = digits.find_first_not_of('0');
        return nonZero == std::string_view::npos ? std::string_view() : digits.substr(nonZero);
    };
    const std::string_view x = run(a, i), y = run(b, j);
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    const int c = x.compare(y);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace

int naturalCompare(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            if (const int c = compareNumbers(a, i, b, j))
                return c;
            continue;
        }
        const unsigned char x = folded(a[i]), y = folded(b[j]);
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    const int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void sortNaturally(std::vector<std::string>& names) {
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
}

}  // namespace pagelume::platform
