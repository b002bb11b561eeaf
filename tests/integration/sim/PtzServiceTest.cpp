#include "SimClients.h"

namespace simtest {
namespace {

class PtzService : public ::testing::Test
{
protected:
    HttpResult Get(const std::string& command, const std::string& userpwd = "admin:admin", long timeoutMs = 5000)
    {
        return Http("http://127.0.0.1:" + std::to_string(s.sim.Ports().ptz) + command, nullptr, userpwd, timeoutMs);
    }
    RunningSim s{[] {
        sim::SimulatorOptions o = FreePorts();
        o.channels = 2;
        return o;
    }()};
};

TEST_F(PtzService, CommandsDriveTheSelectedHead)
{
    for (const char* c : {"pan%2050", "address%202", "tilt%20-25", "zoom%20100"})
        EXPECT_EQ(Get(std::string("/cgi-bin/run?ptz.cgi%20") + c).status, 200) << c;
    EXPECT_EQ(s.sim.PtzAddress(), 2u);
    EXPECT_EQ(s.sim.GetPtzHead(1).pan, 50);
    const sim::PtzHead second = s.sim.GetPtzHead(2);
    EXPECT_EQ((std::vector<long>{second.pan, second.tilt, second.zoom, static_cast<long>(second.commands)}),
              (std::vector<long>{0, -25, 100, 2}));
    const auto log = s.sim.RequestLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "cgi /cgi-bin/run?ptz.cgi%20pan%2050") << "logged as received, undecoded";
}

TEST_F(PtzService, RefusesBadCommandsAndObeysFaultKnobs)
{
    for (const char* bad :
         {"pan%20101", "tilt%20-101", "zoom%20abc", "address%203", "address%200", "focus%2010", "pan", "pan%2010%2010"})
        EXPECT_EQ(Get(std::string("/cgi-bin/run?ptz.cgi%20") + bad).status, 400) << bad;
    EXPECT_EQ(Get("/cgi-bin/other?ptz.cgi%20pan%2010").status, 404);
    EXPECT_EQ(Get("/index.html").status, 404);
    EXPECT_EQ(Get("/cgi-bin/run?ptz.cgi%20pan%2010", "admin:wrong").status, 401);
    EXPECT_EQ(Get("/cgi-bin/run?ptz.cgi%20pan%2010", "").status, 401);
    EXPECT_EQ(s.sim.GetPtzHead(1).commands, 0u);

    s.sim.SetFaults({*sim::ParseFault("close-midway=ptz*1")});
    EXPECT_EQ(Get("/cgi-bin/run?ptz.cgi%20zoom%200").code, CURLE_PARTIAL_FILE);
    EXPECT_EQ(Get("/cgi-bin/run?ptz.cgi%20zoom%200").status, 200);
    s.sim.SetFaults({*sim::ParseFault("slow=ptz:10000")});
    EXPECT_EQ(Get("/cgi-bin/run?ptz.cgi%20zoom%200", "admin:admin", 300).code, CURLE_OPERATION_TIMEDOUT);
}

}  // namespace
}  // namespace simtest
