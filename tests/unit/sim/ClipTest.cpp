#include "sim/Clip.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

TEST(AnnexB, SplitsAtStartCodesAndGroupsPicturesFromTheFirstIdr)
{
    const Bytes stream{0, 0, 0, 1, 0x67, 1, 2, 0, 0, 1, 0x68, 3, 0, 0, 0, 1, 0x65, 4, 5};
    EXPECT_EQ(SplitAnnexB(stream), (std::vector<Bytes>{{0x67, 1, 2}, {0x68, 3}, {0x65, 4, 5}}));
    EXPECT_TRUE(SplitAnnexB({1, 2, 3}).empty());

    const auto aus = GroupAccessUnits({
        {0x41, 0x80},  // P slice before any IDR: dropped
        {0x67, 1},
        {0x68, 2},
        {0x65, 0x80},
        {0x65, 0x40},  // IDR in two slices
        {0x41, 0x80},  // next picture
        {0x06, 9},
        {0x41, 0x80},  // SEI opens the picture after it
    });
    ASSERT_EQ(aus.size(), 3u);
    EXPECT_TRUE(aus[0].idr);
    EXPECT_FALSE(aus[1].idr);
    EXPECT_EQ((std::vector<std::size_t>{aus[0].nalUnits.size(), aus[1].nalUnits.size(), aus[2].nalUnits.size()}),
              (std::vector<std::size_t>{4, 1, 2}));
}

TEST(ClipLibrary, BundledClipsHaveAnIdrEverySecondAndFindPicksExactCoveringOrLargest)
{
    ClipLibrary clips;
    std::string error;
    ASSERT_TRUE(clips.Load(BundledClipsDirectory(), &error)) << error;
    const std::vector<std::pair<unsigned, unsigned>> expected{{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}};
    EXPECT_EQ(clips.Sizes(), expected);
    for (const auto& [w, h] : expected) {
        const auto clip = clips.Find(w, h);
        ASSERT_EQ(clip->width, w);
        ASSERT_EQ(clip->frames.size(), 100u);
        for (std::size_t i = 0; i < clip->frames.size(); ++i)
            EXPECT_EQ(clip->frames[i].idr, i % 25 == 0) << i;
    }
    EXPECT_EQ(clips.Find(704, 576)->width, 1280u);
    EXPECT_EQ(clips.Find(3840, 2160)->width, 1920u);
    EXPECT_FALSE(clips.Load("/nonexistent", nullptr));
}

}  // namespace
}  // namespace sim
