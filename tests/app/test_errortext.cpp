#include <gtest/gtest.h>

#include "app/errortext.h"

namespace pagelume::app {
namespace {

TEST(DefaultErrorText, AddsAFullStopOnlyAfterCharactersThatComeAfterIt) {
    EXPECT_EQ(defaultErrorText("Unable to write to /x/config.ini"),
              "Unable to write to /x/config.ini.");
    EXPECT_EQ(defaultErrorText("Done."), "Done.");
    EXPECT_EQ(defaultErrorText("Seek error\n"), "Seek error\n");
    EXPECT_EQ(defaultErrorText("(IHDR)"), "(IHDR)");
    EXPECT_EQ(defaultErrorText("a-"), "a-");
    EXPECT_EQ(defaultErrorText("a/"), "a/.");
    EXPECT_EQ(defaultErrorText(""), "");
    // A multi-byte last character counts by its code point, not its bytes.
    EXPECT_EQ(defaultErrorText("\xE6\x97\xA0\xE6\xB3\x95\xE8\xA7\xA3\xE7\xA0\x81\xE3\x80\x82"),
              "\xE6\x97\xA0\xE6\xB3\x95\xE8\xA7\xA3\xE7\xA0\x81\xE3\x80\x82.");
    EXPECT_EQ(defaultErrorText("\xE3"), "\xE3.");  // a broken tail does not crash
}

}  // namespace
}  // namespace pagelume::app
