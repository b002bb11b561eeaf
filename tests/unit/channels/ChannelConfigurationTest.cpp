#include <gtest/gtest.h>

#include "channels/ChannelConfiguration.h"
#include "channels/StreamUri.h"

using namespace velkora;

TEST(ChannelConfiguration, TargetsPerChannelAndKind)
{
    const char* text = "source0=VSC1;profile0=P0;encoder0=VEC0;profile0Live=P1;encoder0Live=VEC1\r\n"
                       "source10=X;source1=VSC2\nprofile1Remote=P5;encoder1Remote=VEC5; source2=Y";
    ChannelTargets live = ReadChannelTargets(text, 0, 1);
    EXPECT_EQ(live.source + live.profile + live.encoder, "VSC1P1VEC1");
    ChannelTargets rec = ReadChannelTargets(text, 0, 0);
    EXPECT_EQ(rec.profile + rec.encoder, "P0VEC0");
    ChannelTargets remote = ReadChannelTargets(text, 1, 2);
    EXPECT_EQ(remote.source + remote.profile + remote.encoder, "VSC2P5VEC5");
    EXPECT_EQ(ReadChannelTargets(text, 1, 1).encoder, "");
    EXPECT_EQ(ReadChannelTargets(text, 2, 0).source, "");  // the key must be the whole entry
}

TEST(StreamUri, PathAndPort)
{
    EXPECT_EQ(StreamUriPath("rtsp://10.0.0.5:8554/stream1?profile=2"), "/stream1?profile=2");
    EXPECT_EQ(StreamUriPortText("rtsp://10.0.0.5:8554/stream1?profile=2"), "8554");
    EXPECT_EQ(StreamUriPath("rtsp://cam"), "");
    EXPECT_EQ(StreamUriPortText("rtsp://cam:554"), "554");
    EXPECT_EQ(StreamUriPortText("rtsp://user:pw@cam/live"), "");  // a password is no port
    EXPECT_EQ(StreamUriPortText("rtsp://user:pw@cam:10554/live:1"), "10554");
    EXPECT_EQ(ParsePortText("8554"), std::optional<uint16_t>(8554));
    EXPECT_FALSE(ParsePortText("65616"));  // would wrap to 80
    EXPECT_FALSE(ParsePortText("0"));
    EXPECT_FALSE(ParsePortText("85a"));
}
