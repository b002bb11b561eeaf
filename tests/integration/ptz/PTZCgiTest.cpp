#include <gtest/gtest.h>

#include "ptz/CVerintPTZComm.h"
#include "ptz/CVerintPTZHandler.h"
#include "support/SimCamera.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestDriver.h"

namespace velkora {
namespace {

using Lines = std::vector<std::string>;
constexpr auto kWait = std::chrono::seconds(10);

std::string Cgi(const char* command)
{
    return std::string("cgi /cgi-bin/run?ptz.cgi%20") + command;
}

class PTZAgainstSimulator : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim::SimulatorOptions options = FreePortOptions(2);
        options.password = "secret";
        simulator = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator->Start(&error)) << error;
        driver.info = DEVICE_INFO("127.0.0.1", 80, "admin", "secret");
        driver.info.requestTimeout = 7500;  // as the driver sets it for an opened device
        driver.ptzPort = simulator->Ports().ptz;
        driver.parameters[3] = "Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; Preset=0";
    }

    // Waits until the simulator has seen `count` CGI requests, then returns them all.
    Lines CgiRequests(size_t count)
    {
        for (const auto deadline = std::chrono::steady_clock::now() + kWait;;) {
            const Lines all = simulator->RequestLog();
            Lines cgi;
            std::copy_if(all.begin(), all.end(), std::back_inserter(cgi),
                         [](auto& l) { return l.rfind("cgi ", 0) == 0; });
            if (cgi.size() >= count || std::chrono::steady_clock::now() > deadline)
                return cgi;
            // The whole log is scanned on each change: more calls than known lines means a new one.
            size_t calls = 0;
            simulator->WaitForRequest([&](const std::string&) { return ++calls > all.size(); }, kWait);
        }
    }

    TestDriver driver;
    std::unique_ptr<sim::Simulator> simulator;
};

TEST_F(PTZAgainstSimulator, JoystickSessionSendsMappedCommandsInOrder)
{
    CVerintPTZHandler handler(&driver, 2);
    IIPPTZApi* api = handler.GetPTZApi(0);
    ASSERT_NE(api, nullptr);
    Lines expected;
    auto step = [&](int32_t result, std::initializer_list<const char*> commands) {
        EXPECT_EQ(result, 1);
        for (const char* command : commands)
            expected.push_back(Cgi(command));
        EXPECT_EQ(CgiRequests(expected.size()), expected);
    };
    step(api->StartMove(1, 8), {"address%201", "pan%2050"});
    step(api->StartMove(4, 4), {"pan%20-25", "tilt%2025"});  // diagonal: up and left
    step(api->StartMove(0, 4), {});                          // pan unchanged, tilt keeps going
    step(api->StartZoomA(16), {"zoom%20100"});
    step(api->StartMove(6, 40), {"pan%20-100", "tilt%20-100"});
    step(api->Stop(), {"pan%200", "tilt%200", "zoom%200"});
    EXPECT_EQ(handler.GetPTZApi(2), nullptr);
    step(handler.GetPTZApi(1)->StartMove(3, 2), {"address%202", "tilt%20-12"});  // each channel its own address
    handler.ReleaseControls();  // closes the connection, so that the simulator need not wait for it
    simulator->Stop();          // joins the handlers: the head is final
    const sim::PtzHead head = simulator->GetPtzHead(1);
    EXPECT_EQ(head.pan | head.tilt | head.zoom, 0);
    EXPECT_EQ(head.commands, 9u);
    EXPECT_TRUE(driver.Texts().empty());
}

TEST_F(PTZAgainstSimulator, ClosingDuringASlowExchangeAbortsIt)
{
    CVerintPTZHandler handler(&driver, 2);
    simulator->SetFaults({*sim::ParseFault("slow=ptz:60000")});
    ASSERT_EQ(handler.GetPTZApi(0)->StartMove(1, 1), 1);
    ASSERT_EQ(CgiRequests(1), Lines{Cgi("address%201")});  // the worker now waits for the device
    handler.ReleaseControls();
    // Neither the join warning (5 s) nor a failure of our own abort is reported.
    EXPECT_EQ(driver.Texts(), Lines{});
}

TEST(PTZFailureMessages, EachDistinctFailureIsLoggedOnceUntilASuccess)
{
    // A CGI answering with scripted statuses, which the simulator never gives.
    const std::vector<int> statuses{200, 200, 401, 401, 401, 404, 404, 503, 200, 200, 404};
    std::atomic<size_t> served{0};
    LoopbackHttpServer cgi([&](const RecordedRequest&) {
        const size_t n = served++;
        return HttpAnswer(n < statuses.size() ? statuses[n] : 200, "");
    });
    auto waitTargets = [&](size_t count) {
        cgi.WaitForRequests(count);
        Lines targets;
        for (const RecordedRequest& request : cgi.Requests())
            targets.push_back(request.head.substr(4, request.head.find(" HTTP/") - 4));  // after "GET "
        return targets;
    };
    TestDriver driver;
    driver.info = DEVICE_INFO("127.0.0.1", 80, "admin", "secret");
    driver.ptzPort = cgi.Port();
    CPtzCapabilities caps;
    caps.FromString("Pan=1");
    CVerintPTZComm worker(&driver, 0, caps);
    ASSERT_TRUE(worker.Open());

    // One item at a time (its requests seen), so that the queue drops none.
    for (auto [direction, count] : std::vector<std::pair<uint32_t, size_t>>{
             {1, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {0, 8}, {1, 10}, {0, 11}}) {
        ASSERT_EQ(worker.StartMove(nullptr, direction, 8), 1);
        waitTargets(count);
    }
    const std::string address = "/cgi-bin/run?ptz.cgi%20address%201", pan = "/cgi-bin/run?ptz.cgi%20pan%20";
    // After the failures, pan 50 goes out again although the device had it last.
    EXPECT_EQ(waitTargets(11), (Lines{address, pan + "50", pan + "-50", address, address, address, address, address,
                                      address, pan + "50", pan + "-50"}));
    const std::string prefix = "1 velkora::CVerintPTZComm::SendPTZCommand: ";
    const std::string device = "127.0.0.1:" + std::to_string(cgi.Port());
    const std::string unable = prefix + "Device " + device + " is unable to process \"/cgi-bin/run?ptz.cgi ";
    EXPECT_EQ(driver.Texts(5),
              (Lines{unable + "pan -50\" request: credentials are invalid",
                     unable + "address 1\" request: credentials are invalid",
                     prefix + "The \"/cgi-bin/run?ptz.cgi address 1\" URL was not found on device " + device,
                     unable + "address 1\" request. HTTP status code is 503",
                     prefix + "The \"/cgi-bin/run?ptz.cgi pan -50\" URL was not found on device " + device}));
}

// Without plain-text passwords a Basic challenge to the CGI is said once and not answered
// (that Digest is answered is the HTTP sender's tests' to prove).
TEST(PTZFailureMessages, NoPlainTextPasswordWithheldFromBasicSaidOnce)
{
    LoopbackHttpServer cgi(
        [](const RecordedRequest&) { return HttpAnswer(401, "", "WWW-Authenticate: Basic realm=\"cam\"\r\n"); });
    TestDriver driver;
    driver.info = DEVICE_INFO("127.0.0.1", 80, "admin", "secret");
    driver.info.neverPlaintextPassword = true;
    driver.ptzPort = cgi.Port();
    CPtzCapabilities caps;
    caps.FromString("Pan=1");
    CVerintPTZComm worker(&driver, 0, caps);
    ASSERT_TRUE(worker.Open());
    for (std::size_t count : {1u, 2u}) {
        ASSERT_EQ(worker.StartMove(nullptr, 1, 8), 1);
        cgi.WaitForRequests(count);
    }
    EXPECT_EQ(driver.Texts(1),
              Lines{"1 velkora::CVerintPTZComm::SendPTZCommand: Device 127.0.0.1:" + std::to_string(cgi.Port()) +
                    " asks for HTTP Basic authentication for \"/cgi-bin/run?ptz.cgi address 1\", which would send "
                    "the password in clear; it is not sent (HARNOQUISTEL_PLAINTEXT_PASSWORD=never)"});
    for (const RecordedRequest& request : cgi.Requests())
        EXPECT_EQ("", request.Header("Authorization"));
}

}  // namespace
}  // namespace velkora
