#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "ptz/CVerintPTZComm.h"
#include "ptz/CVerintPTZHandler.h"
#include "sim/Simulator.h"
#include "unit/ptz/FakeDriver.h"

namespace velkora {
namespace {

using testing::FakeDriver;
using Lines = std::vector<std::string>;
constexpr auto kWait = std::chrono::seconds(10);

std::string Cgi(const char* command) { return std::string("cgi /cgi-bin/run?ptz.cgi%20") + command; }

class PTZAgainstSimulator : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimulatorOptions options;
    options.httpPort = options.rtspPort = options.ptzPort = 0;
    options.user = "admin";
    options.password = "secret";
    options.channels = 2;
    options.logFile = ::testing::TempDir() + "ptz-sim.log";
    simulator = std::make_unique<sim::Simulator>(options);
    std::string error;
    ASSERT_TRUE(simulator->Start(&error)) << error;
    driver.device.port = simulator->Ports().http;
    driver.device.requestTimeout = 7500;
    driver.ptzPort = simulator->Ports().ptz;
    driver.channelCount = 2;
    driver.parameters[3] = "Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; Preset=0";
  }

  // Waits until the simulator has seen `count` CGI requests, then returns them all.
  Lines CgiRequests(size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    for (;;) {
      const Lines all = simulator->RequestLog();
      Lines cgi;
      for (const std::string& line : all)
        if (line.rfind("cgi ", 0) == 0) cgi.push_back(line);
      if (cgi.size() >= count || std::chrono::steady_clock::now() > deadline) return cgi;
      // The log is scanned line by line under its lock: more calls than known lines means a new one.
      size_t calls = 0;
      simulator->WaitForRequest([&](const std::string&) { return ++calls > all.size(); }, kWait);
    }
  }

  FakeDriver driver;
  std::unique_ptr<sim::Simulator> simulator;
};

TEST_F(PTZAgainstSimulator, JoystickSessionSendsMappedCommandsInOrder) {
  CVerintPTZHandler handler(&driver, 2);
  IIPPTZApi* api = handler.GetPTZApi(0);
  ASSERT_NE(api, nullptr);
  Lines expected;
  auto step = [&](int32_t result, std::initializer_list<const char*> commands) {
    EXPECT_EQ(result, 1);
    for (const char* command : commands) expected.push_back(Cgi(command));
    EXPECT_EQ(CgiRequests(expected.size()), expected);
  };
  step(api->StartMove(1, 8), {"address%201", "pan%2050"});
  step(api->StartMove(4, 4), {"pan%20-25", "tilt%2025"});  // diagonal: up and left
  step(api->StartMove(0, 4), {});                          // pan unchanged, tilt keeps going
  step(api->StartZoomA(16), {"zoom%20100"});
  step(api->StartMove(6, 40), {"pan%20-100", "tilt%20-100"});
  step(api->Stop(), {"pan%200", "tilt%200", "zoom%200"});
  handler.ReleaseControls();  // closes the connection, so that the simulator need not wait for it
  simulator->Stop();          // joins the handlers: the head is final
  const sim::PtzHead head = simulator->GetPtzHead(1);
  EXPECT_EQ(head.pan | head.tilt | head.zoom, 0);
  EXPECT_EQ(head.commands, 9u);
  EXPECT_TRUE(driver.Messages().empty());
}

TEST_F(PTZAgainstSimulator, EachChannelSelectsItsOwnAddress) {
  CVerintPTZHandler handler(&driver, 2);
  EXPECT_EQ(handler.GetPTZApi(2), nullptr);
  ASSERT_EQ(handler.GetPTZApi(0)->StartMove(0, 16), 1);
  EXPECT_EQ(CgiRequests(2), (Lines{Cgi("address%201"), Cgi("pan%20-100")}));
  ASSERT_EQ(handler.GetPTZApi(1)->StartMove(3, 2), 1);
  EXPECT_EQ(CgiRequests(4), (Lines{Cgi("address%201"), Cgi("pan%20-100"), Cgi("address%202"), Cgi("tilt%20-12")}));
  handler.ReleaseControls();
  simulator->Stop();
  EXPECT_EQ(simulator->GetPtzHead(1).pan, -100);
  EXPECT_EQ(simulator->GetPtzHead(2).tilt, -12);
}

TEST_F(PTZAgainstSimulator, RefusedCredentialsAreReportedOnceAndNothingMoves) {
  driver.device.password = "wrong";
  CVerintPTZHandler handler(&driver, 2);
  IIPPTZApi* api = handler.GetPTZApi(0);
  ASSERT_EQ(api->StartMove(1, 8), 1);
  ASSERT_EQ(api->StartMove(2, 8), 1);
  EXPECT_EQ(CgiRequests(2), (Lines{Cgi("address%201"), Cgi("address%201")}));
  handler.ReleaseControls();  // the worker is joined: its messages are complete
  const auto messages = driver.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].level, 1);
  EXPECT_EQ(messages[0].text, "velkora::CVerintPTZComm::SendPTZCommand: Device 127.0.0.1:" +
                                  std::to_string(driver.ptzPort) +
                                  " is unable to process \"/cgi-bin/run?ptz.cgi address 1\" request: "
                                  "credentials are invalid");
  EXPECT_EQ(simulator->GetPtzHead(1).commands, 0u);
}

TEST_F(PTZAgainstSimulator, ClosingDuringASlowExchangeAbortsIt) {
  CVerintPTZHandler handler(&driver, 2);
  IIPPTZApi* api = handler.GetPTZApi(0);
  simulator->SetFaults({*sim::ParseFault("slow=ptz:60000")});
  ASSERT_EQ(api->StartMove(1, 1), 1);
  ASSERT_EQ(CgiRequests(1), Lines{Cgi("address%201")});  // the worker now waits for the device
  handler.ReleaseControls();
  // Neither the join warning (5 s) nor a failure of our own abort is reported.
  for (const auto& message : driver.Messages()) ADD_FAILURE() << message.text;
}

// A CGI whose answers the test scripts, for the statuses the simulator never gives.
class ScriptedCgi {
 public:
  ScriptedCgi() {
    server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
      std::lock_guard<std::mutex> guard(lock);
      response.status = statuses.empty() ? 200 : statuses.front();
      if (!statuses.empty()) statuses.erase(statuses.begin());
      targets.push_back(request.target);
      seen.notify_all();
    });
    port = static_cast<uint16_t>(server.bind_to_any_port("127.0.0.1"));
    // Bound and listening already: early requests wait in the backlog.
    thread = std::thread([this] { server.listen_after_bind(); });
  }
  ~ScriptedCgi() {
    server.stop();
    thread.join();
  }
  void Answer(std::vector<int> next) {
    std::lock_guard<std::mutex> guard(lock);
    statuses = std::move(next);
  }
  Lines WaitTargets(size_t count) {
    std::unique_lock<std::mutex> guard(lock);
    seen.wait_for(guard, kWait, [&] { return targets.size() >= count; });
    return targets;
  }
  uint16_t port = 0;

 private:
  httplib::Server server;
  std::thread thread;
  std::mutex lock;
  std::condition_variable seen;
  std::vector<int> statuses;
  Lines targets;
};

TEST(PTZFailureMessages, EachDistinctFailureIsLoggedOnceUntilASuccess) {
  ScriptedCgi cgi;
  FakeDriver driver;
  driver.ptzPort = cgi.port;
  CPtzCapabilities caps;
  caps.pan = true;
  CVerintPTZComm worker(&driver, 0, caps);
  ASSERT_TRUE(worker.Open());
  const std::string device = "127.0.0.1:" + std::to_string(cgi.port);
  const std::string prefix = "velkora::CVerintPTZComm::SendPTZCommand: ";

  cgi.Answer({200, 401, 401, 401, 404, 404, 503, 200, 200, 404});
  // One item at a time (requests seen after each), so that the queue drops none.
  uint32_t direction = 1;
  for (size_t seen : {2, 3, 4, 5, 6, 7, 9, 10}) {
    ASSERT_EQ(worker.StartMove(nullptr, direction, 8), 1);
    cgi.WaitTargets(seen);
    direction ^= 1;
  }
  const Lines targets = cgi.WaitTargets(10);
  const std::string p = "/cgi-bin/run?ptz.cgi%20";
  EXPECT_EQ(targets, (Lines{p + "address%201", p + "pan%2050", p + "address%201", p + "address%201",
                            p + "address%201", p + "address%201", p + "address%201", p + "address%201",
                            p + "pan%2050", p + "pan%20-50"}));
  std::vector<std::string> texts;
  for (const auto& message : driver.WaitForMessages(5)) texts.push_back(message.text);
  EXPECT_EQ(texts, (std::vector<std::string>{
                       prefix + "Device " + device +
                           " is unable to process \"/cgi-bin/run?ptz.cgi pan 50\" request: credentials are invalid",
                       prefix + "Device " + device +
                           " is unable to process \"/cgi-bin/run?ptz.cgi address 1\" request: credentials are invalid",
                       prefix + "The \"/cgi-bin/run?ptz.cgi address 1\" URL was not found on device " + device,
                       prefix + "Device " + device +
                           " is unable to process \"/cgi-bin/run?ptz.cgi address 1\" request. HTTP status code is 503",
                       prefix + "The \"/cgi-bin/run?ptz.cgi pan -50\" URL was not found on device " + device}));
}

}  // namespace
}  // namespace velkora
