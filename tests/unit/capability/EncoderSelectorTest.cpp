#include <gtest/gtest.h>

#include "capability/CEncoderSelector.h"

using velkora::CEncoderSelector;

namespace {

constexpr uint32_t Jpeg = 1, H264 = 3;

velkora::EncoderCandidate Offer(std::string token, uint32_t encoding, std::set<std::pair<uint16_t, uint16_t>> sizes,
                                std::set<uint32_t> rates = {25})
{
    return {std::move(token), encoding, std::move(sizes), std::move(rates)};
}

}  // namespace

TEST(EncoderSelector, KeepsTheLargestOfferPerEncodingAndMergesItsOwnToken)
{
    CEncoderSelector selector;
    selector.Offer(Offer("empty", H264, {}));
    selector.Offer(Offer("norate", H264, {{1920, 1080}}, {}));
    EXPECT_EQ(selector.Find(H264), nullptr);

    // Width first, then height; at an equal largest size only more sizes win.
    for (const auto& [token, sizes] : std::vector<std::pair<const char*, std::set<std::pair<uint16_t, uint16_t>>>>{
             {"small", {{640, 480}}},
             {"wide", {{1280, 720}, {1920, 1080}}},
             {"taller", {{1920, 1088}}},
             {"more", {{640, 360}, {1920, 1088}}},
             {"same", {{320, 180}, {1920, 1088}}},
             {"narrower", {{1280, 2000}}}})
        selector.Offer(Offer(token, H264, sizes));
    EXPECT_EQ(selector.Find(H264)->encoder.token, "more");

    selector.Offer(Offer("more", H264, {{320, 240}}, {5}));
    EXPECT_EQ(selector.Find(H264)->encoder.resolutions.size(), 3u);
    EXPECT_EQ(selector.Find(H264)->encoder.framerates, (std::set<uint32_t>{5, 25}));
    selector.Offer(Offer("jpeg", Jpeg, {{320, 240}}));
    EXPECT_EQ(selector.Winners().size(), 2u);
}

TEST(EncoderSelector, AssignsTheFirstFreeCompatibleProfile)
{
    velkora::CVideoSourceInfo source;
    source.profiles = {{"P3", {"enc"}}, {"P1", {}}, {"P2", {"enc", "other"}}, {"P0", {"other"}}};
    CEncoderSelector selector;
    selector.Offer(Offer("enc", H264, {{1280, 720}}));
    selector.Offer(Offer("other", Jpeg, {{1280, 720}}));

    selector.AssignProfiles(source, {});
    EXPECT_EQ(selector.Find(H264)->profile + selector.Find(Jpeg)->profile, "P2P0");
    selector.AssignProfiles(source, {"P2"});
    EXPECT_EQ(selector.Find(H264)->profile, "P3");
    selector.AssignProfiles(source, {"P2", "P3"});
    EXPECT_EQ(selector.Find(H264)->profile, "");
}
