#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channels/ChannelConfiguration.h"
#include "channels/ProfileMatching.h"
#include "channels/StreamUri.h"
#include "onvif/OwnProfileNames.h"

using namespace velkora;

TEST(ChannelConfiguration, TargetsPerChannelAndKind)
{
    const char* text = "source0=VSC1;profile0=P0;encoder0=VEC0;profile0Live=P1;encoder0Live=VEC1\r\n"
                       "source10=X;source1=VSC2\nprofile1Remote=P5;encoder1Remote=VEC5; source2=Y";
    auto targets = [&](uint32_t channel, uint32_t kind) {
        const ChannelTargets t = ReadChannelTargets(text, channel, kind);
        return std::vector<std::string>{t.source, t.profile, t.encoder};
    };
    EXPECT_EQ(targets(0, 1), (std::vector<std::string>{"VSC1", "P1", "VEC1"}));
    EXPECT_EQ(targets(0, 0), (std::vector<std::string>{"VSC1", "P0", "VEC0"}));
    EXPECT_EQ(targets(1, 2), (std::vector<std::string>{"VSC2", "P5", "VEC5"}));
    EXPECT_EQ(ReadChannelTargets(text, 1, 1).encoder, "");
    EXPECT_EQ(ReadChannelTargets(text, 2, 0).source, "");  // the key must be the whole entry
}

TEST(StreamUri, PathAndPort)
{
    EXPECT_EQ(StreamUriPath("rtsp://10.0.0.5:8554/stream1?profile=2"), "/stream1?profile=2");
    EXPECT_EQ(StreamUriPortText("rtsp://10.0.0.5:8554/stream1?profile=2"), "8554");
    EXPECT_EQ(StreamUriPath("rtsp://cam"), "");
    EXPECT_EQ(StreamUriPortText("rtsp://user:pw@cam/live"), "");  // a password is no port
    EXPECT_EQ(StreamUriPortText("rtsp://user:pw@cam:10554/live:1"), "10554");
    EXPECT_EQ(ParsePortText("8554"), std::optional<uint16_t>(8554));
    EXPECT_FALSE(ParsePortText("65616"));  // would wrap to 80
    EXPECT_FALSE(ParsePortText("0"));
    EXPECT_FALSE(ParsePortText("85a"));
}

TEST(ProfileMatching, EachProfileCountsForItsFirstTest)
{
    auto profile = [](const char* token, const char* name, const char* source, const char* encoder) {
        Onvif::MediaProfile p(token);
        p.name = name;
        p.videoSourceConfiguration.token = source;
        p.videoEncoderConfiguration.token = encoder;
        return p;
    };
    std::vector<Onvif::MediaProfile> profiles{
        profile("P1", "A", "", ""),
        profile("P2", "Velkora_VSC1_Live", "", ""),
        profile("P3", "Velkora_VSC1_Live", "VSC1", "VEC1"),  // name already held: counts by bindings
        profile("P4", "B", "VSC1", "VEC1"),
        profile("P1", "C", "", ""),         // a later token match replaces
        profile("P5", "", "VSC1", "VEC1"),  // unnamed: skipped
    };
    const ProfileCandidates c = FindProfileCandidates(profiles, {"VSC1", "P1", "VEC1"}, StreamProfileName("VSC1", 1));
    EXPECT_EQ(c.byToken, 4);
    EXPECT_EQ(c.byName, 1);
    EXPECT_EQ(c.byBindings, 2);
}
