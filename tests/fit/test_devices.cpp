// The device table and the parsing of --fit and --quality.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "fit/devices.h"

using namespace pagelume::fit;

TEST(Devices, EveryProfileIsAPortraitScreenWithASource) {
    std::set<std::string> ids;
    for (const DeviceProfile& p : deviceProfiles()) {
        EXPECT_TRUE(ids.insert(p.id).second) << p.id;
        EXPECT_LT(p.width, p.height) << p.id;
        EXPECT_GE(p.width, 600) << p.id;
        EXPECT_STRNE(p.source, "") << p.id;
        for (const char* c = p.id; *c; ++c)
            EXPECT_TRUE((*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9') || *c == '-') << p.id;
        EXPECT_EQ(findDevice(p.id), &p);
        EXPECT_NE(deviceListText().find(p.id), std::string::npos);
    }
    for (const char* maker : {"kindle", "kobo", "pocketbook", "remarkable", "ipad"})
        EXPECT_TRUE(std::any_of(ids.begin(), ids.end(), [&](const std::string& id) {
            return id.rfind(maker, 0) == 0;
        })) << maker;
}

TEST(Devices, ParsesProfilesAndSizes) {
    auto box = parseFitBox("kindle-paperwhite-5");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->width, 1236);
    EXPECT_EQ(box->height, 1648);
    ASSERT_NE(box->device, nullptr);
    box = parseFitBox("Kobo-Libra");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->width, 1264);
    EXPECT_EQ(box->height, 1680);
    box = parseFitBox("800X600");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->width, 800);
    EXPECT_EQ(box->height, 600);
    EXPECT_EQ(box->device, nullptr);
    EXPECT_TRUE(parseFitBox("16x16384"));
    for (const char* bad : {"", "x", "15x100", "100x15", "0x0", "100x", "x100", "100x100x",
                            "16385x100", "-5x10", "1e3x100", "kindle-nope", "100 x 100"}) {
        std::string error;
        EXPECT_FALSE(parseFitBox(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(Devices, ParsesTheQuality) {
    EXPECT_EQ(parseQuality("1"), 1);
    EXPECT_EQ(parseQuality("85"), 85);
    EXPECT_EQ(parseQuality("100"), 100);
    for (const char* bad : {"", "0", "101", "8.5", "-1", "+5", "85%", "99999999999"}) {
        std::string error;
        EXPECT_FALSE(parseQuality(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}
