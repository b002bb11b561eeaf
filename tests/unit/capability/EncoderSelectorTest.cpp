#include <gtest/gtest.h>

#include "capability/CEncoderSelector.h"

using velkora::CEncoderSelector;
using velkora::CVideoSourceInfo;
using velkora::EncoderCandidate;

namespace {

constexpr uint32_t Jpeg = 1;
constexpr uint32_t H264 = 3;

EncoderCandidate Candidate(std::string token, uint32_t encoding, std::set<std::pair<uint16_t, uint16_t>> sizes,
                           std::set<uint32_t> rates = {25})
{
    return {std::move(token), encoding, std::move(sizes), std::move(rates)};
}

} // namespace

TEST(EncoderSelector, KeepsTheLargestOfferPerEncoding)
{
    CEncoderSelector selector;
    selector.Offer(Candidate("empty", H264, {}));
    selector.Offer(Candidate("norate", H264, {{1920, 1080}}, {}));
    EXPECT_EQ(selector.Find(H264), nullptr);

    selector.Offer(Candidate("small", H264, {{640, 480}}));
    selector.Offer(Candidate("wide", H264, {{1280, 720}, {1920, 1080}}));
    selector.Offer(Candidate("taller", H264, {{1920, 1088}}));
    EXPECT_EQ(selector.Find(H264)->encoder.token, "taller");
    // Equal largest size: more sizes win, fewer or equal keep the earlier one.
    selector.Offer(Candidate("more", H264, {{640, 360}, {1920, 1088}}));
    selector.Offer(Candidate("same", H264, {{320, 180}, {1920, 1088}}));
    selector.Offer(Candidate("smaller", H264, {{1280, 2000}}));
    EXPECT_EQ(selector.Find(H264)->encoder.token, "more");

    selector.Offer(Candidate("jpeg", Jpeg, {{320, 240}}));
    EXPECT_EQ(selector.Winners().size(), 2u);
    EXPECT_EQ(selector.Find(Jpeg)->encoder.token, "jpeg");
}

TEST(EncoderSelector, MergesOffersOfTheWinningConfiguration)
{
    CEncoderSelector selector;
    selector.Offer(Candidate("enc", H264, {{1280, 720}}, {25}));
    selector.Offer(Candidate("enc", H264, {{640, 360}}, {5, 30}));
    const auto* pick = selector.Find(H264);
    ASSERT_NE(pick, nullptr);
    EXPECT_EQ(pick->encoder.resolutions.size(), 2u);
    EXPECT_EQ(pick->encoder.framerates, (std::set<uint32_t>{5, 25, 30}));
}

TEST(EncoderSelector, AssignsTheFirstFreeCompatibleProfile)
{
    CVideoSourceInfo source;
    source.profiles = {{"P3", {"enc"}}, {"P1", {}}, {"P2", {"enc", "other"}}, {"P0", {"other"}}};
    CEncoderSelector selector;
    selector.Offer(Candidate("enc", H264, {{1280, 720}}));
    selector.Offer(Candidate("other", Jpeg, {{1280, 720}}));

    selector.AssignProfiles(source, {});
    EXPECT_EQ(selector.Find(H264)->profile, "P2");
    EXPECT_EQ(selector.Find(Jpeg)->profile, "P0");

    selector.AssignProfiles(source, {"P2"});
    EXPECT_EQ(selector.Find(H264)->profile, "P3");
    selector.AssignProfiles(source, {"P2", "P3"});
    EXPECT_EQ(selector.Find(H264)->profile, "");
}
