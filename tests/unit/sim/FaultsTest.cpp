#include "sim/Faults.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

TEST(FaultSpec, ParsesEveryKindAndRefusesMalformedSpecs)
{
    using K = Fault::Kind;
    auto is = [](const char* spec, K kind, const char* target, double value, int count) {
        const auto f = ParseFault(spec);
        return f && f->kind == kind && f->target == target && f->value == value && f->count == count;
    };
    EXPECT_TRUE(is("loss=0.25", K::RtpLoss, "", 0.25, -1));
    EXPECT_TRUE(is("onvif-fault=GetStreamUri*2", K::OnvifFault, "GetStreamUri", 0, 2));
    EXPECT_TRUE(is("slow=ptz:800", K::Slow, "ptz", 800, -1));
    EXPECT_TRUE(is("refuse-rtsp*3", K::RefuseRtsp, "", 0, 3));
    EXPECT_TRUE(is("close-midway=rtsp*1", K::CloseMidway, "rtsp", 0, 1));
    EXPECT_TRUE(is("onvif-digest=only", K::OnvifDigest, "", 1, -1));
    EXPECT_TRUE(is("clock=-3600", K::Clock, "", -3600, -1));
    EXPECT_EQ(ParseFault("clock=+60:5")->window, 5);
    EXPECT_TRUE(is("ts-jump=-3600@2.5", K::TsJump, "", -3600, -1));
    EXPECT_EQ(ParseFault("ts-jump=-3600@2.5")->at, 2.5);
    EXPECT_TRUE(is("resize=640x480@3", K::Resize, "640x480", 3, -1));
    for (const char* bad : {"resize=640x480", "resize=640@3", "resize=0x480@3", "resize=640x480x2@3"})
        EXPECT_FALSE(ParseFault(bad)) << bad;
    for (const char* ok : {"reorder=0", "duplicate=1", "bye-after=1.5", "stop-after=3", "onvif-401", "slow=10"})
        EXPECT_TRUE(ParseFault(ok)) << ok;
    for (const char* bad : {"",
                            "loss",
                            "loss=2",
                            "loss=-0.1",
                            "loss=abc",
                            "bye-after",
                            "refuse-rtsp=1",
                            "slow=disk:10",
                            "slow=",
                            "close-midway=disk",
                            "onvif-401*0",
                            "onvif-401*x",
                            "teleport",
                            "onvif-digest=all",
                            "clock",
                            "clock=abc",
                            "clock=5:x",
                            "ts-jump=5",
                            "stray=x@1",
                            "seq-jump=5@-1"}) {
        std::string error;
        EXPECT_FALSE(ParseFault(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// A counted refusal leaves the port listening (its count runs out on reset connections); a
// slow service slows only itself.
TEST(FaultSet, CountedRefusalsListenAndSlownessKeepsToItsTarget)
{
    FaultSet set;
    set.Set({*ParseFault("refuse-rtsp*1"), *ParseFault("slow=rtsp:50")});
    EXPECT_FALSE(set.RefusesAllRtsp());
    EXPECT_EQ(set.SlowMs("onvif"), 0u);
}

}  // namespace
}  // namespace sim
