#include <gtest/gtest.h>

#include "onvif/OwnProfileNames.h"

using namespace velkora;

TEST(OwnProfileNames, StreamAndNumberedNamesCarryTheMark)
{
    EXPECT_EQ(StreamProfileName("VSC1", 0), "Velkora_VSC1");
    EXPECT_EQ(StreamProfileName("VSC1", 1), "Velkora_VSC1_Live");
    EXPECT_EQ(StreamProfileName("VSC1", 2), "Velkora_VSC1_Remote");
    EXPECT_EQ(StreamProfileName("VSC1", 3), "Velkora_VSC1");
    EXPECT_EQ(StreamProfileName("", 1), "");
    EXPECT_EQ(NumberedProfileName(15, "VSC1"), "Velkora_Profile15_VSC1");
    EXPECT_TRUE(IsOwnProfileName(NumberedProfileName(0, "x")));
    EXPECT_TRUE(IsOwnProfileName(StreamProfileName("x", 1)));
    EXPECT_TRUE(IsOwnProfileName("Old Velkora profile"));
    EXPECT_FALSE(IsOwnProfileName("velkora_lowercase"));
}
