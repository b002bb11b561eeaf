#include <gtest/gtest.h>

#include "channels/CH264ChannelRTSP.h"
#include "channels/EncoderConfiguration.h"
#include "channels/EncoderSettings.h"

using namespace velkora;

namespace {

Onvif::VideoEncoderConfiguration Current()
{
    Onvif::VideoEncoderConfiguration c("VEC1");
    c.name = "VEC1";
    c.encoding = "H264";
    c.width = 1280;
    c.height = 720;
    c.quality = 5;
    c.frameRateLimit = 25;
    c.encodingInterval = 1;
    c.bitrateLimit = 2048;
    c.h264.govLength = 25;
    c.h264.profile = "Main";
    return c;
}

CodecOptions FixedRateOptions()
{
    CodecOptions o;
    o.codec = OnvifCodecH264;
    o.resolutions = {{640, 480}, {1280, 720}, {1920, 1080}};
    o.frameRateMin = o.frameRateMax = 25;
    o.encodingIntervalMin = 1;
    o.encodingIntervalMax = 5;
    o.govLengthMin = 1;
    o.govLengthMax = 150;
    o.bitrateMin = 64;
    o.bitrateMax = 8192;
    o.profiles = {"High", "Main", "Baseline"};
    return o;
}

StreamParams Request(uint32_t frameRate, uint32_t quality, uint16_t width = 1280, uint16_t height = 720)
{
    StreamParams p;
    p.frameRate = frameRate;
    p.quality = quality;
    p.width = width;
    p.height = height;
    p.codec = 3;
    return p;
}

}  // namespace

TEST(EncoderConfiguration, RequestIsMappedIntoTheOptionSet)
{
    CodecOptions options = FixedRateOptions();
    EncoderChange change = BuildEncoderConfiguration(Current(), {&options, 1, 10, 3}, Request(0x7000 | 12, 50), "H264",
                                                     CH264ChannelRTSP::PreferredH264Profile(options.profiles));
    const Onvif::VideoEncoderConfiguration& c = change.configuration;
    EXPECT_EQ(c.width, 1280);
    EXPECT_EQ(c.frameRateLimit, 25u);
    EXPECT_EQ(c.encodingInterval, 2u);
    EXPECT_FLOAT_EQ(c.quality, 1.0f + 9.0f * 49.0f / 99.0f);
    EXPECT_EQ(c.bitrateLimit, 4087u);
    EXPECT_EQ(c.h264.govLength, 12u);
    EXPECT_EQ(c.h264.profile, "Baseline");
    EXPECT_FALSE(change.required);
    EXPECT_TRUE(change.optional);
}

TEST(EncoderConfiguration, FlagsTellRequiredFromOptional)
{
    CodecOptions options = FixedRateOptions();
    options.profiles = {"Main"};
    // Exactly what the encoder already runs: nothing to write.
    Onvif::VideoEncoderConfiguration current = Current();
    current.bitrateLimit = MapBitrate(2048, 64, 8192, 50);
    EncoderChange same = BuildEncoderConfiguration(current, {&options, 1, 10, 3}, Request(0x7000 | 25, 50), "H264", "Main");
    EXPECT_FALSE(same.required);
    EXPECT_FALSE(same.optional);
    // Quality differing only in its fraction does not count.
    current.quality = 5.9f;
    EXPECT_FALSE(BuildEncoderConfiguration(current, {&options, 1, 10, 3}, Request(0x7000 | 25, 50), "H264", "Main").optional);
    // A new resolution is required.
    EncoderChange bigger =
        BuildEncoderConfiguration(current, {&options, 1, 10, 3}, Request(0x7000 | 25, 50, 1920, 1080), "H264", "Main");
    EXPECT_TRUE(bigger.required);
    // An option set naming no known profile keeps the encoder's own.
    EXPECT_EQ(BuildEncoderConfiguration(current, {&options, 1, 10, 3}, Request(0, 50), "H264", "").configuration.h264.profile,
              "Main");
}

TEST(EncoderConfiguration, H264ProfilePreference)
{
    EXPECT_EQ(CH264ChannelRTSP::PreferredH264Profile({"High", "Main", "Baseline"}), "Baseline");
    EXPECT_EQ(CH264ChannelRTSP::PreferredH264Profile({"High", "Extended"}), "Extended");
    EXPECT_EQ(CH264ChannelRTSP::PreferredH264Profile({"high", "Constrained"}), "");
}
