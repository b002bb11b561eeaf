#include <gtest/gtest.h>

#include "channels/CH264ChannelRTSP.h"
#include "channels/EncoderConfiguration.h"
#include "channels/EncoderSettings.h"

using namespace velkora;

TEST(EncoderSettings, EdgesOfTheRanges)
{
    EXPECT_EQ(RequestedFramesPerSecond(40), 25u);                        // a 40 ms interval
    EXPECT_EQ(ComputeFrameRate(20, 20, 1, 4, 15).encodingInterval, 1u);  // 20 and 10 equally near: the first
    EXPECT_EQ(ComputeFrameRate(30, 5, 0, 0, 12).frameRateLimit, 5u);     // inverted range
    EXPECT_EQ(ComputeFrameRate(30, 5, 0, 0, 12).encodingInterval, 1u);   // no interval range
    EXPECT_EQ(OptionSetFrameRates(25, 25, 1, 3), (std::vector<uint32_t>{8, 12, 25}));
    EXPECT_TRUE(OptionSetFrameRates(30, 5, 1, 5).empty());
    EXPECT_FLOAT_EQ(MapQuality(50, 5, 5), 5.0f);
    EXPECT_EQ(MapBitrate(0, 64, 8000, 50), 0u);  // an unlimited encoder stays unlimited
    EXPECT_EQ(MapBitrate(4000, 16, 32, 50), 32u);
    EXPECT_EQ(MapBitrate(4000, 0, 131, 1), 32u);  // minimum raised to 32
    EXPECT_EQ(MapBitrate(4000, 9000, 8000, 50), 8000u);

    using Pair = std::pair<uint16_t, uint16_t>;
    const std::set<Resolution> offered{{640, 480}, {1280, 720}, {1920, 1080}};
    EXPECT_EQ(PickResolution(offered, 1024, 768), (Pair{1280, 720}));
    EXPECT_EQ(PickResolution(offered, 2048, 1536), (Pair{1920, 1080}));
    EXPECT_EQ(PickResolution(offered, 1280, 800), (Pair{1920, 1080}));
    EXPECT_EQ(PickResolution(std::set<Resolution>{}, 800, 600), (Pair{800, 600}));
}

TEST(EncoderConfiguration, RequiredAndOptionalChanges)
{
    Onvif::VideoEncoderConfiguration current{"VEC1"};
    current.encoding = "H264";
    current.width = 1280;
    current.height = 720;
    current.quality = 5;
    current.frameRateLimit = 25;
    current.encodingInterval = 1;
    current.bitrateLimit = 4087;
    current.h264 = {25, "Main"};
    const CodecOptions options{"", 0, {{640, 480}, {1280, 720}, {1920, 1080}}, 25, 25, 1, 5, 0, 150, 64, 8192, {}};
    auto build = [&](uint16_t width, const std::string& profile) {
        StreamParams p{0x7000 | 25, 50, width, static_cast<uint16_t>(width * 9 / 16), 3, 0};
        return BuildEncoderConfiguration(current, {&options, 1, 10, 3}, p, "H264", profile);
    };
    EncoderChange same = build(1280, "Main");
    EXPECT_FALSE(same.required || same.optional);
    current.quality = 5.9f;  // differs only in the fraction
    EXPECT_FALSE(build(1280, "Main").optional);
    EXPECT_TRUE(build(1920, "Main").required);
    // No known profile offered: the encoder keeps its own rather than an empty one.
    EXPECT_EQ(build(1280, "").configuration.h264.profile, "Main");
    EXPECT_EQ(CH264ChannelRTSP::PreferredH264Profile({"High", "Main", "Baseline"}), "Baseline");
    EXPECT_EQ(CH264ChannelRTSP::PreferredH264Profile({"High", "Extended"}), "Extended");
    EXPECT_EQ(CH264ChannelRTSP::PreferredH264Profile({"high"}), "");
}
