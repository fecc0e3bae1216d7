#include "settings/ViewSettings.h"

#include <gtest/gtest.h>

using namespace vedris;

TEST(ViewSettings, ZoomStepsAlongTheLadderAndReadsWhatAdministratorsWrite) {
    EXPECT_EQ(NextZoomLevel(100, true), 110);
    EXPECT_EQ(NextZoomLevel(100, false), 90);
    // A level between two rungs (written by hand) goes to the next rung either way.
    EXPECT_EQ(NextZoomLevel(125, true), 133);
    EXPECT_EQ(NextZoomLevel(125, false), 120);
    // The ends hold.
    EXPECT_EQ(NextZoomLevel(300, true), 300);
    EXPECT_EQ(NextZoomLevel(30, false), 30);

    EXPECT_EQ(ParseZoomLevel("150"), 150);
    EXPECT_EQ(ParseZoomLevel(" 125% "), 125);
    for (const char* bad : {"", "%", "1.5", "150 %x", "29", "301", "-100", "великий"})
        EXPECT_EQ(ParseZoomLevel(bad), std::nullopt) << bad;

    for (const char* on : {"1", "yes", "True", "ON"})
        EXPECT_TRUE(SettingIsOn(on)) << on;
    for (const char* off : {"", "0", "no", "off", "так"})
        EXPECT_FALSE(SettingIsOn(off)) << off;
}
