#include <gtest/gtest.h>

#include "channels/ChannelConfiguration.h"
#include "channels/StreamUri.h"

using namespace velkora;

TEST(ChannelConfiguration, TargetsPerChannelAndKind)
{
    const char* text = "source0=VSC1;profile0=P0;encoder0=VEC0;profile0Live=P1;encoder0Live=VEC1\r\n"
                       "source1=VSC2\nprofile1Remote=P5;encoder1Remote=VEC5";
    ChannelTargets live = ReadChannelTargets(text, 0, 1);
    EXPECT_EQ(live.source, "VSC1");
    EXPECT_EQ(live.profile, "P1");
    EXPECT_EQ(live.encoder, "VEC1");
    ChannelTargets rec = ReadChannelTargets(text, 0, 0);
    EXPECT_EQ(rec.profile, "P0");
    EXPECT_EQ(rec.encoder, "VEC0");
    ChannelTargets remote = ReadChannelTargets(text, 1, 2);
    EXPECT_EQ(remote.source, "VSC2");
    EXPECT_EQ(remote.profile, "P5");
    EXPECT_EQ(remote.encoder, "VEC5");
    EXPECT_EQ(ReadChannelTargets(text, 1, 1).encoder, "");
    EXPECT_EQ(ReadChannelTargets(text, 0, 3).encoder, "VEC0");  // unnamed kinds read the plain keys
}

TEST(ChannelConfiguration, KeyMatchesWholeEntryOnly)
{
    // "source1" must not match inside "source10", nor a key with blanks around it.
    EXPECT_EQ(LookupChannelConfigValue("source10=A;source1=B", "source1"), "B");
    EXPECT_EQ(LookupChannelConfigValue(" source1=A", "source1"), "");
    EXPECT_EQ(LookupChannelConfigValue("source1=", "source1"), "");
    EXPECT_EQ(LookupChannelConfigValue("source1=a=b", "source1"), "a=b");
    EXPECT_EQ(LookupChannelConfigValue("", "source1"), "");
}

TEST(StreamUri, PathAndPort)
{
    EXPECT_EQ(StreamUriPath("rtsp://10.0.0.5:8554/stream1?profile=2"), "/stream1?profile=2");
    EXPECT_EQ(StreamUriPortText("rtsp://10.0.0.5:8554/stream1?profile=2"), "8554");
    EXPECT_EQ(StreamUriPath("rtsp://cam"), "");
    EXPECT_EQ(StreamUriPortText("rtsp://cam:554"), "554");
    EXPECT_EQ(StreamUriPortText("rtsp://cam/live"), "");
    EXPECT_EQ(StreamUriPortText("rtsp://user:pw@cam/live"), "");
    EXPECT_EQ(StreamUriPortText("rtsp://user:pw@cam:10554/live:1"), "10554");
    EXPECT_EQ(StreamUriPath("/live/main"), "/live/main");
}

TEST(StreamUri, PortTextMustBeAPort)
{
    EXPECT_EQ(ParsePortText("8554"), std::optional<uint16_t>(8554));
    EXPECT_FALSE(ParsePortText("65616"));  // would wrap to 80
    EXPECT_FALSE(ParsePortText("0"));
    EXPECT_FALSE(ParsePortText("85a"));
    EXPECT_FALSE(ParsePortText(""));
    EXPECT_FALSE(ParsePortText("-1"));
}
