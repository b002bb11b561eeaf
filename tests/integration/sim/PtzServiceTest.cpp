#include "SimClients.h"

namespace simtest {
namespace {

class PtzService : public ::testing::Test {
protected:
    HttpResult Get(const std::string& target, const std::string& userpwd = "admin:admin")
    {
        return Http("http://127.0.0.1:" + std::to_string(s.sim.Ports().ptz) + target, nullptr, userpwd);
    }
    RunningSim s{[] {
        sim::SimulatorOptions o = FreePorts();
        o.channels = 2;
        return o;
    }()};
};

TEST_F(PtzService, CommandsDriveTheSelectedHead)
{
    EXPECT_EQ(Get("/cgi-bin/run?ptz.cgi%20pan%2050").status, 200);
    EXPECT_EQ(Get("/cgi-bin/run?ptz.cgi%20address%202").status, 200);
    EXPECT_EQ(Get("/cgi-bin/run?ptz.cgi%20tilt%20-25").status, 200);
    EXPECT_EQ(Get("/cgi-bin/run?ptz.cgi%20zoom%20100").status, 200);
    EXPECT_EQ(s.sim.PtzAddress(), 2u);
    EXPECT_EQ(s.sim.GetPtzHead(1).pan, 50);
    const sim::PtzHead second = s.sim.GetPtzHead(2);
    EXPECT_EQ(second.pan, 0);
    EXPECT_EQ(second.tilt, -25);
    EXPECT_EQ(second.zoom, 100);
    EXPECT_EQ(second.commands, 2u);
    const auto log = s.sim.RequestLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "cgi /cgi-bin/run?ptz.cgi%20pan%2050") << "logged as received, undecoded";
}

TEST_F(PtzService, RefusesOutOfRangeUnknownAndUnauthorised)
{
    for (const char* bad : {"pan%20101", "tilt%20-101", "zoom%20abc", "address%203", "address%200", "focus%2010",
                            "pan", "pan%2010%2010"})
        EXPECT_EQ(Get(std::string("/cgi-bin/run?ptz.cgi%20") + bad).status, 400) << bad;
    EXPECT_EQ(Get("/cgi-bin/other?ptz.cgi%20pan%2010").status, 404);
    EXPECT_EQ(Get("/index.html").status, 404);
    EXPECT_EQ(Get("/cgi-bin/run?ptz.cgi%20pan%2010", "admin:wrong").status, 401);
    EXPECT_EQ(Get("/cgi-bin/run?ptz.cgi%20pan%2010", "").status, 401);
    EXPECT_EQ(s.sim.GetPtzHead(1).commands, 0u);
}

TEST_F(PtzService, FaultKnobs)
{
    s.sim.SetFaults({*sim::ParseFault("close-midway=ptz*1")});
    EXPECT_EQ(Get("/cgi-bin/run?ptz.cgi%20zoom%200").code, CURLE_PARTIAL_FILE);
    EXPECT_EQ(Get("/cgi-bin/run?ptz.cgi%20zoom%200").status, 200);
    s.sim.SetFaults({*sim::ParseFault("slow=ptz:10000")});
    const HttpResult r = Http("http://127.0.0.1:" + std::to_string(s.sim.Ports().ptz) + "/cgi-bin/run?ptz.cgi%20zoom%200",
                              nullptr, "admin:admin", 300);
    EXPECT_EQ(r.code, CURLE_OPERATION_TIMEDOUT);
}

}  // namespace
}  // namespace simtest
