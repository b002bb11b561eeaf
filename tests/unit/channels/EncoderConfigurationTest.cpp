#include <gtest/gtest.h>

#include "channels/CH264ChannelRTSP.h"
#include "channels/EncoderConfiguration.h"

using namespace velkora;

namespace {

struct Fixture {
    Onvif::VideoEncoderConfiguration current{"VEC1"};
    CodecOptions options;
    Fixture()
    {
        current.encoding = "H264";
        current.width = 1280;
        current.height = 720;
        current.quality = 5;
        current.frameRateLimit = 25;
        current.encodingInterval = 1;
        current.bitrateLimit = 4087;
        current.h264 = {25, "Main"};
        options.resolutions = {{640, 480}, {1280, 720}, {1920, 1080}};
        options.frameRateMin = options.frameRateMax = 25;
        options.encodingIntervalMin = 1;
        options.encodingIntervalMax = 5;
        options.govLengthMax = 150;
        options.bitrateMin = 64;
        options.bitrateMax = 8192;
    }
    EncoderChange Build(uint32_t frameRate, uint16_t width, const std::string& profile)
    {
        StreamParams p{frameRate, 50, width, static_cast<uint16_t>(width * 9 / 16), 3, 0};
        return BuildEncoderConfiguration(current, {&options, 1, 10, 3}, p, "H264", profile);
    }
};

}  // namespace

TEST(EncoderConfiguration, RequiredAndOptionalChanges)
{
    Fixture f;
    EncoderChange same = f.Build(0x7000 | 25, 1280, "Main");
    EXPECT_FALSE(same.required || same.optional);
    f.current.quality = 5.9f;  // differs only in the fraction
    EXPECT_FALSE(f.Build(0x7000 | 25, 1280, "Main").optional);
    EXPECT_TRUE(f.Build(0x7000 | 25, 1920, "Main").required);
    // No known profile offered: the encoder keeps its own rather than an empty one.
    EXPECT_EQ(f.Build(0x7000 | 25, 1280, "").configuration.h264.profile, "Main");
    EXPECT_EQ(CH264ChannelRTSP::PreferredH264Profile({"High", "Main", "Baseline"}), "Baseline");
    EXPECT_EQ(CH264ChannelRTSP::PreferredH264Profile({"High", "Extended"}), "Extended");
    EXPECT_EQ(CH264ChannelRTSP::PreferredH264Profile({"high"}), "");
}
