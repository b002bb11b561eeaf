#include "sim/Faults.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

TEST(FaultSpec, ParsesEveryKind)
{
    auto f = ParseFault("loss=0.25");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->kind, Fault::Kind::RtpLoss);
    EXPECT_DOUBLE_EQ(f->value, 0.25);
    f = ParseFault("onvif-fault=GetStreamUri*2");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->kind, Fault::Kind::OnvifFault);
    EXPECT_EQ(f->target, "GetStreamUri");
    EXPECT_EQ(f->count, 2);
    f = ParseFault("slow=ptz:800");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->target, "ptz");
    EXPECT_DOUBLE_EQ(f->value, 800);
    f = ParseFault("refuse-rtsp");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->count, -1);
    for (const char* ok : {"reorder=0", "duplicate=1", "bye-after=1.5", "stop-after=3", "refuse-rtsp*3",
                           "onvif-401", "close-midway", "close-midway=rtsp*1", "slow=10"})
        EXPECT_TRUE(ParseFault(ok)) << ok;
}

TEST(FaultSpec, RefusesMalformedSpecs)
{
    for (const char* bad : {"", "loss", "loss=2", "loss=-0.1", "loss=abc", "bye-after", "refuse-rtsp=1",
                            "slow=disk:10", "slow=", "close-midway=disk", "onvif-401*0", "onvif-401*x", "teleport"}) {
        std::string error;
        EXPECT_FALSE(ParseFault(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(FaultSet, CountedFaultsRunOutAndTargetsSelect)
{
    FaultSet set;
    set.Set({*ParseFault("onvif-fault=GetProfiles*2"), *ParseFault("close-midway"), *ParseFault("slow=rtsp:50")});
    EXPECT_FALSE(set.Take(Fault::Kind::OnvifFault, "GetStreamUri"));
    EXPECT_TRUE(set.Take(Fault::Kind::OnvifFault, "GetProfiles"));
    EXPECT_TRUE(set.Take(Fault::Kind::OnvifFault, "GetProfiles"));
    EXPECT_FALSE(set.Take(Fault::Kind::OnvifFault, "GetProfiles"));
    EXPECT_TRUE(set.Take(Fault::Kind::CloseMidway, "ptz"));
    EXPECT_TRUE(set.Take(Fault::Kind::CloseMidway, "onvif"));
    EXPECT_EQ(set.SlowMs("rtsp"), 50u);
    EXPECT_EQ(set.SlowMs("onvif"), 0u);
    EXPECT_FALSE(set.RefusesAllRtsp());
    set.Set({*ParseFault("refuse-rtsp*1")});
    EXPECT_FALSE(set.RefusesAllRtsp());
    set.Set({*ParseFault("refuse-rtsp")});
    EXPECT_TRUE(set.RefusesAllRtsp());
}

}  // namespace
}  // namespace sim
