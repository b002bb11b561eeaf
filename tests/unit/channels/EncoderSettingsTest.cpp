#include <gtest/gtest.h>

#include <set>

#include "channels/EncoderSettings.h"

using namespace velkora;

namespace {
struct Res {
    uint16_t width, height;
    bool operator<(const Res& o) const { return width != o.width ? width < o.width : height < o.height; }
};
}  // namespace

TEST(EncoderSettings, RequestedRateFromHostEncoding)
{
    EXPECT_EQ(RequestedFramesPerSecond(0x7000 | 12), 12u);
    EXPECT_EQ(RequestedFramesPerSecond(40), 25u);   // a 40 ms interval
    EXPECT_EQ(RequestedFramesPerSecond(67), 15u);   // 14.9 rounds up
    EXPECT_EQ(RequestedFramesPerSecond(0), 0u);
    EXPECT_EQ(RequestedFramesPerSecond(3000), 0u);  // slower than one a second rounds to none
}

TEST(EncoderSettings, FixedRateEncoderReachesRequestThroughInterval)
{
    FrameRateSetting s = ComputeFrameRate(25, 25, 1, 5, 12);
    EXPECT_EQ(s.frameRateLimit, 25u);
    EXPECT_EQ(s.encodingInterval, 2u);
    // 25/3 and 25/4 are 8.33 and 6.25: 7 is nearer 6.25; equal distances keep the first.
    EXPECT_EQ(ComputeFrameRate(25, 25, 1, 5, 7).encodingInterval, 4u);
    EXPECT_EQ(ComputeFrameRate(20, 20, 1, 4, 15).encodingInterval, 1u);  // 20 and 10 are equally far
    EXPECT_EQ(ComputeFrameRate(25, 25, 2, 5, 0).encodingInterval, 2u);
}

TEST(EncoderSettings, RangedRateIsClampedAndIntervalSmallest)
{
    EXPECT_EQ(ComputeFrameRate(1, 30, 1, 10, 12).frameRateLimit, 12u);
    EXPECT_EQ(ComputeFrameRate(1, 30, 1, 10, 12).encodingInterval, 1u);
    EXPECT_EQ(ComputeFrameRate(5, 30, 1, 10, 60).frameRateLimit, 30u);
    EXPECT_EQ(ComputeFrameRate(5, 30, 1, 10, 0).frameRateLimit, 5u);
    EXPECT_EQ(ComputeFrameRate(30, 5, 0, 0, 12).frameRateLimit, 5u);
    EXPECT_EQ(ComputeFrameRate(30, 5, 0, 0, 12).encodingInterval, 1u);
}

TEST(EncoderSettings, FrameRatesOfOptionSet)
{
    EXPECT_EQ(OptionSetFrameRates(25, 25, 1, 3), (std::vector<uint32_t>{8, 12, 25}));
    EXPECT_EQ(OptionSetFrameRates(0, 3, 1, 1), (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(OptionSetFrameRates(25, 25, 2, 2), (std::vector<uint32_t>{25}));
    EXPECT_TRUE(OptionSetFrameRates(0, 0, 1, 5).empty());
    EXPECT_TRUE(OptionSetFrameRates(30, 5, 1, 5).empty());
}

TEST(EncoderSettings, QualityMapsOntoEncoderRange)
{
    EXPECT_FLOAT_EQ(MapQuality(100, 1, 10), 10.0f);
    EXPECT_FLOAT_EQ(MapQuality(1, 1, 10), 1.0f);
    EXPECT_FLOAT_EQ(MapQuality(50, 1, 10), 1.0f + 9.0f * 49.0f / 99.0f);
    EXPECT_FLOAT_EQ(MapQuality(0, 1, 10), 1.0f);     // clamped to 1
    EXPECT_FLOAT_EQ(MapQuality(250, 1, 10), 10.0f);  // clamped to 100
    EXPECT_FLOAT_EQ(MapQuality(50, 5, 5), 5.0f);
}

TEST(EncoderSettings, BitrateRules)
{
    EXPECT_EQ(MapBitrate(0, 64, 8000, 50), 0u);      // no limit stays no limit
    EXPECT_EQ(MapBitrate(4000, 0, 0, 50), 4000u);    // unknown range keeps the limit
    EXPECT_EQ(MapBitrate(4000, 16, 32, 50), 32u);
    EXPECT_EQ(MapBitrate(4000, 0, 131, 100), 131u);  // minimum raised to 32
    EXPECT_EQ(MapBitrate(4000, 0, 131, 1), 32u);
    EXPECT_EQ(MapBitrate(4000, 9000, 8000, 50), 8000u);
    EXPECT_EQ(MapBitrate(4000, 500, 500, 50), 500u);
    EXPECT_EQ(MapBitrate(4000, 64, 8000, 50), 64u + static_cast<uint32_t>(7936.0 * 49 / 99 + 0.5));
}

TEST(EncoderSettings, GovLengthFollowsRequestedRate)
{
    EXPECT_EQ(MapGovLength(30, 1, 300, 12), 12u);
    EXPECT_EQ(MapGovLength(30, 20, 300, 12), 20u);
    EXPECT_EQ(MapGovLength(30, 1, 300, 0), 30u);
    EXPECT_EQ(MapGovLength(30, 0, 0, 12), 30u);
}

TEST(EncoderSettings, PickResolution)
{
    std::set<Res> offered{{640, 480}, {1280, 720}, {1920, 1080}};
    EXPECT_EQ(PickResolution(offered, 1024, 768), (std::pair<uint16_t, uint16_t>{1280, 720}));
    EXPECT_EQ(PickResolution(offered, 2048, 1536), (std::pair<uint16_t, uint16_t>{1920, 1080}));
    EXPECT_EQ(PickResolution(offered, 1280, 720), (std::pair<uint16_t, uint16_t>{1280, 720}));
    EXPECT_EQ(PickResolution(offered, 1280, 800), (std::pair<uint16_t, uint16_t>{1920, 1080}));
    EXPECT_EQ(PickResolution(offered, 0, 0), (std::pair<uint16_t, uint16_t>{640, 480}));
    EXPECT_EQ(PickResolution(std::set<Res>{}, 800, 600), (std::pair<uint16_t, uint16_t>{800, 600}));
}
