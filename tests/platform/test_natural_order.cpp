#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/natural_order.h"

namespace pagelume::platform {
namespace {

std::vector<std::string> sorted(std::vector<std::string> v) {
    sortNaturally(v);
    return v;
}

TEST(NaturalOrder, NumbersByValueLettersWithoutCase) {
    EXPECT_EQ(sorted({"p10.png", "p2.png", "p1.png"}),
              (std::vector<std::string>{"p1.png", "p2.png", "p10.png"}));
    EXPECT_EQ(sorted({"page 10", "Page 9"}), (std::vector<std::string>{"Page 9", "page 10"}));
    EXPECT_EQ(sorted({"b", "A", "a", "B"}), (std::vector<std::string>{"A", "a", "B", "b"}))
        << "equal without case: the plain bytes decide";
    // Leading zeros do not change the value; the plain text breaks the tie.
    EXPECT_EQ(sorted({"p1", "p001", "p01", "p2", "p000"}),
              (std::vector<std::string>{"p000", "p001", "p01", "p1", "p2"}));
    EXPECT_EQ(sorted({"vol2/p1", "vol10/p1", "vol2/p10", "vol1"}),
              (std::vector<std::string>{"vol1", "vol2/p1", "vol2/p10", "vol10/p1"}));
    // Longer than any integer type.
    EXPECT_LT(naturalCompare("x99999999999999999999999", "x100000000000000000000000"), 0);
    EXPECT_EQ(naturalCompare("same", "same"), 0);
    EXPECT_LT(naturalCompare("p", "p1"), 0);
    EXPECT_LT(naturalCompare("", "a"), 0);
}

TEST(NaturalOrder, IsATotalOrderWhateverTheStartingOrder) {
    std::vector<std::string> names = {"a1b",  "a1",  "a01b", "A1b",   "a-1", "a_1", "a10",
                                      "a1.5", "a01", "a",    "a 1",   "ä1",  "a1B", "000",
                                      "0",    "",    "a1b2", "a1b10", "A01", "z"};
    const std::vector<std::string> expected = sorted(names);
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        std::shuffle(names.begin(), names.end(), random);
        EXPECT_EQ(sorted(names), expected);
    }
    for (std::size_t i = 0; i + 1 < expected.size(); ++i)
        EXPECT_LT(naturalCompare(expected[i], expected[i + 1]), 0) << expected[i];
}

}  // namespace
}  // namespace pagelume::platform
