#include <gtest/gtest.h>

#include "channels/ProfileMatching.h"

using namespace velkora;

namespace {
Onvif::MediaProfile Profile(const char* token, const char* name, const char* source, const char* encoder)
{
    Onvif::MediaProfile p(token);
    p.name = name;
    p.videoSourceConfiguration.token = source;
    p.videoEncoderConfiguration.token = encoder;
    return p;
}
}  // namespace

TEST(ProfileMatching, EachProfileCountsForItsFirstTest)
{
    std::vector<Onvif::MediaProfile> profiles{
        Profile("P1", "A", "", ""),
        Profile("P2", "Velkora_VSC1_Live", "", ""),
        Profile("P3", "Velkora_VSC1_Live", "VSC1", "VEC1"),  // name already held: counts by bindings
        Profile("P4", "B", "VSC1", "VEC1"),
        Profile("P1", "C", "", ""),                          // a later token match replaces
        Profile("P5", "", "VSC1", "VEC1"),                   // unnamed: skipped
    };
    ProfileCandidates c = FindProfileCandidates(profiles, {"VSC1", "P1", "VEC1"}, OwnProfileName("VSC1", 1));
    EXPECT_EQ(c.byToken, 4);
    EXPECT_EQ(c.byName, 1);
    EXPECT_EQ(c.byBindings, 2);
    EXPECT_EQ(OwnProfileName("VSC1", 2), "Velkora_VSC1_Remote");
    EXPECT_EQ(OwnProfileName("VSC1", 0), "Velkora_VSC1");
    EXPECT_EQ(OwnProfileName("", 1), "");
}
