#include "sim/Clip.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

// The bundled clips have one slice per picture and no SEI: these shapes reach the grouping only here.
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

// Hosts asking for a size no clip has get the smallest covering one, else the largest.
TEST(ClipLibrary, FindPicksExactCoveringOrLargest)
{
    ClipLibrary clips;
    std::string error;
    ASSERT_TRUE(clips.Load(BundledClipsDirectory(), &error)) << error;
    for (const auto& [w, h, found] : {std::tuple{640u, 480u, 640u}, {704u, 576u, 1280u}, {3840u, 2160u, 1920u}})
        EXPECT_EQ(clips.Find(w, h)->width, found) << w;
    EXPECT_FALSE(clips.Load("/nonexistent", nullptr));
}

}  // namespace
}  // namespace sim
