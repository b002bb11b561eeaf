#include <gtest/gtest.h>

#include <set>

#include "channels/EncoderSettings.h"

using namespace velkora;

TEST(EncoderSettings, EdgesOfTheRanges)
{
    EXPECT_EQ(RequestedFramesPerSecond(40), 25u);  // a 40 ms interval
    EXPECT_EQ(ComputeFrameRate(20, 20, 1, 4, 15).encodingInterval, 1u);  // 20 and 10 equally near: the first
    EXPECT_EQ(ComputeFrameRate(30, 5, 0, 0, 12).frameRateLimit, 5u);     // inverted range
    EXPECT_EQ(ComputeFrameRate(30, 5, 0, 0, 12).encodingInterval, 1u);   // no interval range
    EXPECT_EQ(OptionSetFrameRates(25, 25, 1, 3), (std::vector<uint32_t>{8, 12, 25}));
    EXPECT_TRUE(OptionSetFrameRates(30, 5, 1, 5).empty());
    EXPECT_FLOAT_EQ(MapQuality(0, 1, 10), 1.0f);
    EXPECT_FLOAT_EQ(MapQuality(50, 5, 5), 5.0f);
    EXPECT_EQ(MapBitrate(0, 64, 8000, 50), 0u);  // an unlimited encoder stays unlimited
    EXPECT_EQ(MapBitrate(4000, 16, 32, 50), 32u);
    EXPECT_EQ(MapBitrate(4000, 0, 131, 1), 32u);  // minimum raised to 32
    EXPECT_EQ(MapBitrate(4000, 9000, 8000, 50), 8000u);
}

TEST(EncoderSettings, PickResolution)
{
    struct Res {
        uint16_t width, height;
        bool operator<(const Res& o) const { return width != o.width ? width < o.width : height < o.height; }
    };
    std::set<Res> offered{{640, 480}, {1280, 720}, {1920, 1080}};
    using Pair = std::pair<uint16_t, uint16_t>;
    EXPECT_EQ(PickResolution(offered, 1024, 768), (Pair{1280, 720}));
    EXPECT_EQ(PickResolution(offered, 2048, 1536), (Pair{1920, 1080}));
    EXPECT_EQ(PickResolution(offered, 1280, 800), (Pair{1920, 1080}));
    EXPECT_EQ(PickResolution(std::set<Res>{}, 800, 600), (Pair{800, 600}));
}
