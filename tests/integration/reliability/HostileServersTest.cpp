// Peers that accept and then misbehave: ONVIF answers that are cut short, enormous,
// not XML or full of entity declarations, an RTSP server that never answers, answers
// that trickle in. The channel keeps retrying without a frame or a fetch, and closes
// promptly.
#include <functional>
#include <thread>

#include "SimHost.h"
#include "support/LoopbackHttpServer.h"

using namespace channeltest;

namespace {

template <class Action> std::chrono::milliseconds Timed(Action action)
{
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

// Close shortens the RTSP client's receive time-out to 100 ms; with the other threads
// of the stream stopping too, well within this.
constexpr auto kPromptClose = 2000ms;

// Accepts, reads, and never answers.
const LoopbackHttpServer::Handler kSilent = [](const RecordedRequest&) { return LoopbackHttpServer::Hang; };

// The simulator's answer to `request`, fetched over a connection of its own.
std::string Forward(uint16_t port, const RecordedRequest& request)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string text = request.head + "\r\n\r\n" + request.body;
        send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        char buffer[4096];
        for (std::size_t end;
             (end = answer.find("\r\n\r\n")) == std::string::npos ||
             answer.size() <
                 end + 4 +
                     std::stoul("0" + RecordedRequest{answer.substr(0, end), {}, false}.Header("Content-Length"));) {
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    return answer;
}

// The body of an HTTP answer.
std::string Body(const std::string& answer)
{
    const std::size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

std::string SoapReply(const std::string& body)
{
    return HttpAnswer(200, body, "Content-Type: application/soap+xml; charset=utf-8\r\n");
}

struct HostileAnswer {
    const char* name;
    // The hostile form of the simulator's own answer `real` (an envelope).
    std::function<std::string(const std::string& real)> spoil;
};

class HostileOnvif : public ::testing::TestWithParam<HostileAnswer>
{};

// Where an external entity would be fetched from; nothing may ever connect.
LoopbackHttpServer& EntityTarget()
{
    static LoopbackHttpServer server(kSilent);
    return server;
}

// `doctype` between the XML declaration and the root element.
std::string WithDoctype(const std::string& envelope, const std::string& doctype)
{
    const std::size_t root = envelope.find("<", envelope.find("?>") == std::string::npos ? 0 : envelope.find("?>"));
    return envelope.substr(0, root) + doctype + envelope.substr(root);
}

std::vector<HostileAnswer> HostileAnswers()
{
    // Ten levels of ten references each: 10^10 bytes if anything expanded it.
    std::string entities = "<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'k'; ++c) {
        entities += std::string("<!ENTITY ") + c + " \"";
        for (int i = 0; i < 10; ++i)
            entities += std::string("&") + static_cast<char>(c - 1) + ";";
        entities += "\">";
    }
    const std::string external =
        "<!DOCTYPE s:Envelope [<!ENTITY e SYSTEM \"http://127.0.0.1:" + std::to_string(EntityTarget().Port()) +
        "/e\">]>";
    return {
        {"Truncated", [](const std::string& real) { return SoapReply(real.substr(0, real.size() / 2)); }},
        {"ShorterThanItsLength",
         [](const std::string& real) { return "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + real; }},
        // Without a length the answer is read up to 2 MiB; the envelope's end lies beyond.
        {"BeyondTwoMiB",
         [](const std::string& real) {
             const std::size_t end = real.rfind("</");
             return "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + real.substr(0, end) + std::string(3u << 20, ' ') +
                    real.substr(end);
         }},
        {"NotXml", [](const std::string&) { return SoapReply(std::string(5000, '\x01') + "\xff\xfe<<<&&&;"); }},
        {"EntityBomb",
         [entities](const std::string& real) {
             return SoapReply(WithDoctype(real, "<!DOCTYPE s:Envelope [" + entities + "]>"));
         }},
        {"ExternalEntity", [external](const std::string& real) { return SoapReply(WithDoctype(real, external)); }},
    };
}

}  // namespace

// The camera is real but for its answer to GetProfiles: taking the spoiled answer for a
// good one would start the stream.
TEST_P(HostileOnvif, NoFrameNoFetchAndPromptClose)
{
    sim::Simulator camera(SimOptions());
    ASSERT_TRUE(camera.Start());
    const uint16_t onvifPort = camera.Ports().http;
    const auto spoil = GetParam().spoil;
    LoopbackHttpServer onvif([&](const RecordedRequest& request) {
        const std::string real = Forward(onvifPort, request);
        return request.body.find("GetProfiles") != std::string::npos ? spoil(Body(real)) : real;
    });
    host::ChannelSink sink;
    {
        Device device(sim::SimulatorPorts{onvif.Port(), camera.Ports().rtsp, 0}, FixedProfilesConfiguration(1));
        ASSERT_TRUE(device.OpenStream(0, 0, sink));
        // Two GetProfiles show the first exchange ended and the channel went on.
        EXPECT_TRUE(WaitUntil([&] { return CountRequests(camera, "onvif GetProfiles") >= 2; }, 60s));
        EXPECT_LT(Timed([&] { EXPECT_TRUE(device.CloseStream(0, 0)); }), kPromptClose);
        EXPECT_EQ(LibraryThreadCount(), 0);
    }
    EXPECT_EQ(sink.FrameCount(), 0u);
    EXPECT_EQ(CountRequests(camera, "rtsp DESCRIBE"), 0u);
    EXPECT_EQ(EntityTarget().Connections(), 0);
}

INSTANTIATE_TEST_SUITE_P(Answers, HostileOnvif, ::testing::ValuesIn(HostileAnswers()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HostileRtsp, ServerThatNeverAnswersIsGivenUpAndRetried)
{
    LoopbackHttpServer rtsp(kSilent);
    sim::SimulatorOptions options = SimOptions();
    options.rtspUri = "rtsp://127.0.0.1:" + std::to_string(rtsp.Port()) + "/media/Profile_1_1";
    sim::Simulator camera(options);
    ASSERT_TRUE(camera.Start());

    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    // A second connection shows the unanswered request timed out and setup started over.
    EXPECT_TRUE(WaitUntil([&] { return rtsp.Connections() >= 2; }, 60s));
    EXPECT_LT(Timed([&] { EXPECT_TRUE(device.CloseStream(0, 0)); }), kPromptClose);
    EXPECT_EQ(LibraryThreadCount(), 0);
    EXPECT_EQ(sink.FrameCount(), 0u);
}

using TrickledAnswers = CameraStream;

TEST_F(TrickledAnswers, CloseDuringATrickledTeardownIsPrompt)
{
    for (const bool driverClose : {false, true}) {
        camera.SetFaults({});
        ASSERT_TRUE(Open());
        ASSERT_TRUE(sink.WaitForFrames(sink.FrameCount() + 5, 20s));
        // Bytes come faster than the close's receive time-out: a wait each byte restarted never ends.
        camera.SetFaults(Faults({"trickle=rtsp:80"}));
        const auto took = Timed([&] {
            if (!driverClose)
                return Close();
            device->driver->Close();
            closed = true;
        });
        std::printf("%s during a trickled TEARDOWN: %lld ms\n", driverClose ? "Close" : "CloseStream",
                    static_cast<long long>(took.count()));
        EXPECT_LT(took, kPromptClose);
        EXPECT_EQ(CountRequests(camera, "rtsp TEARDOWN"), driverClose ? 2u : 1u);
    }
}

TEST_F(TrickledAnswers, TrickledOnvifAnswerCostsOneRequestTimeoutAndCannotHoldClose)
{
    camera.SetFaults(Faults({"bye-after=2"}));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(sink.WaitForFrames(5, 20s));
    // The restart after the BYE meets answers whose bodies take minutes to arrive.
    const std::size_t before = CountRequests(camera, "onvif");
    camera.SetFaults(Faults({"bye-after=2", "trickle=onvif:50"}));
    ASSERT_TRUE(WaitForRequests(camera, "onvif", before + 1, 20s));
    const auto gap = Timed([&] { EXPECT_TRUE(WaitForRequests(camera, "onvif", before + 2, 7500ms + 4s)); });
    std::printf("a trickled ONVIF answer held the channel %lld ms\n", static_cast<long long>(gap.count()));
    ASSERT_TRUE(WaitForRequests(camera, "onvif", before + 3, 7500ms + 4s));
    const auto took = Timed([&] { Close(); });
    std::printf("CloseStream during a trickled ONVIF answer: %lld ms\n", static_cast<long long>(took.count()));
    EXPECT_LT(took, kPromptClose);
}
