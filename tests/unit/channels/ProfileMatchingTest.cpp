#include <gtest/gtest.h>

#include "channels/ProfileMatching.h"

using namespace velkora;

namespace {
Onvif::MediaProfile Profile(const char* token, const char* name, const char* source, const char* encoder)
{
    Onvif::MediaProfile p(token);
    p.name = name;
    p.videoSourceConfiguration.token = source;
    p.videoSourceConfiguration.name = source;
    p.videoEncoderConfiguration.token = encoder;
    p.videoEncoderConfiguration.name = encoder;
    return p;
}
const ChannelTargets kTargets{"VSC1", "P1", "VEC1"};
}  // namespace

TEST(ProfileMatching, EachProfileCountsForItsFirstTest)
{
    std::vector<Onvif::MediaProfile> profiles{
        Profile("P9", "Velkora_VSC1_Live", "VSC1", "VEC1"),  // by name, though its bindings match too
        Profile("P7", "Other", "VSC1", "VEC1"),              // by bindings
        Profile("P1", "Velkora_VSC1_Live", "VSC2", "VEC2"),  // by token
    };
    ProfileCandidates c = FindProfileCandidates(profiles, kTargets, "Velkora_VSC1_Live");
    EXPECT_EQ(c.byToken, 2);
    EXPECT_EQ(c.byName, 0);
    EXPECT_EQ(c.byBindings, 1);
}

TEST(ProfileMatching, LaterTokenWinsFirstNameAndBindingsWin)
{
    std::vector<Onvif::MediaProfile> profiles{
        Profile("P1", "A", "", ""),
        Profile("P2", "Velkora_VSC1_Live", "", ""),
        Profile("P3", "Velkora_VSC1_Live", "VSC1", "VEC1"),  // name already held: counts by bindings
        Profile("P4", "B", "VSC1", "VEC1"),
        Profile("P1", "C", "", ""),
    };
    ProfileCandidates c = FindProfileCandidates(profiles, kTargets, "Velkora_VSC1_Live");
    EXPECT_EQ(c.byToken, 4);
    EXPECT_EQ(c.byName, 1);
    EXPECT_EQ(c.byBindings, 2);
}

TEST(ProfileMatching, UnnamedOrUntokenedProfilesAreSkipped)
{
    std::vector<Onvif::MediaProfile> profiles{Profile("P1", "", "VSC1", "VEC1"), Profile("", "X", "VSC1", "VEC1")};
    ProfileCandidates c = FindProfileCandidates(profiles, kTargets, "Velkora_VSC1_Live");
    EXPECT_EQ(c.byToken, -1);
    EXPECT_EQ(c.byName, -1);
    EXPECT_EQ(c.byBindings, -1);
}

TEST(ProfileMatching, OwnProfileName)
{
    EXPECT_EQ(OwnProfileName("VSC1", 1), "Velkora_VSC1_Live");
    EXPECT_EQ(OwnProfileName("VSC1", 2), "Velkora_VSC1_Remote");
    EXPECT_EQ(OwnProfileName("VSC1", 0), "Velkora_VSC1");
    EXPECT_EQ(OwnProfileName("", 1), "");
}
