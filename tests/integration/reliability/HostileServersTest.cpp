// Peers that accept and then misbehave: ONVIF answers that are cut short, enormous,
// not XML or full of entity declarations, an RTSP server that never answers. The
// channel keeps retrying without a frame or a fetch, and closes promptly.
#include <thread>

#include "SimHost.h"
#include "support/LoopbackHttpServer.h"

using namespace channeltest;

namespace {

// Accepts, reads, and never answers.
const LoopbackHttpServer::Handler kSilent = [](const RecordedRequest&) { return LoopbackHttpServer::Hang; };

// A SOAP envelope, with `doctype` between the XML declaration and the root.
std::string Envelope(const std::string& body, const std::string& doctype = {})
{
    return "<?xml version=\"1.0\"?>" + doctype +
           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\"><s:Body>" +
           body + "</s:Body></s:Envelope>";
}

struct HostileAnswer {
    const char* name;
    std::string reply;
};

class HostileOnvif : public ::testing::TestWithParam<HostileAnswer>
{};

// Where an external entity would be fetched from; nothing may ever connect.
LoopbackHttpServer& EntityTarget()
{
    static LoopbackHttpServer server(kSilent);
    return server;
}

std::string SoapReply(const std::string& body)
{
    return HttpAnswer(200, body, "Content-Type: application/soap+xml; charset=utf-8\r\n");
}

std::vector<HostileAnswer> HostileAnswers()
{
    const std::string profiles = Envelope("<trt:GetProfilesResponse><trt:Profiles token=\"P\" fixed=\"true\">"
                                          "<tt:Name xmlns:tt=\"http://www.onvif.org/ver10/schema\">P</tt:Name>"
                                          "</trt:Profiles></trt:GetProfilesResponse>");
    // Ten levels of ten references each: 10^10 bytes if anything expanded it.
    std::string entities = "<!ENTITY a \"aaaaaaaaaa\">";
    for (char c = 'b'; c <= 'k'; ++c) {
        entities += std::string("<!ENTITY ") + c + " \"";
        for (int i = 0; i < 10; ++i)
            entities += std::string("&") + static_cast<char>(c - 1) + ";";
        entities += "\">";
    }
    const std::string bomb =
        Envelope("<trt:GetProfilesResponse><trt:Profiles token=\"&k;\"/></trt:GetProfilesResponse>",
                 "<!DOCTYPE s:Envelope [" + entities + "]>");
    const std::string external =
        Envelope("<trt:GetProfilesResponse><trt:Profiles token=\"&e;\"/></trt:GetProfilesResponse>",
                 "<!DOCTYPE s:Envelope [<!ENTITY e SYSTEM \"http://127.0.0.1:" + std::to_string(EntityTarget().Port()) +
                     "/e\">]>");
    std::string huge =
        Envelope("<trt:GetProfilesResponse>" + std::string(3u << 20, 'x') + "</trt:GetProfilesResponse>");
    return {
        {"Truncated", SoapReply(profiles.substr(0, profiles.size() / 2))},
        {"ShorterThanItsLength", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + profiles},
        {"BeyondTwoMiB", SoapReply(huge)},
        {"NotXml", SoapReply(std::string(5000, '\x01') + "\xff\xfe<<<&&&;")},
        {"EntityBomb", SoapReply(bomb)},
        {"ExternalEntity", SoapReply(external)},
    };
}

}  // namespace

TEST_P(HostileOnvif, NoFrameNoFetchAndPromptClose)
{
    const std::string reply = GetParam().reply;
    LoopbackHttpServer onvif([&reply](const RecordedRequest&) { return reply; });
    host::ChannelSink sink;
    {
        Device device(sim::SimulatorPorts{onvif.Port(), 0, 0}, FixedProfilesConfiguration(1));
        ASSERT_TRUE(device.OpenStream(0, 0, sink));
        // A second connection shows the first exchange ended and the channel went on.
        EXPECT_TRUE(WaitUntil([&] { return onvif.Connections() >= 2; }, 60s));
        EXPECT_TRUE(device.CloseStream(0, 0));
        EXPECT_EQ(LibraryThreadCount(), 0);
    }
    EXPECT_EQ(sink.FrameCount(), 0u);
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
    EXPECT_TRUE(device.CloseStream(0, 0));
    EXPECT_EQ(LibraryThreadCount(), 0);
    EXPECT_EQ(sink.FrameCount(), 0u);
}

namespace {

using TrickledAnswers = CameraStream;

template <class Action> std::chrono::milliseconds Timed(Action action)
{
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

// Close shortens the RTSP client's receive time-out to 100 ms; with the other threads
// of the stream stopping too, well within this.
constexpr auto kPromptClose = 2000ms;

}  // namespace

TEST_F(TrickledAnswers, CloseDuringATrickledTeardownIsPrompt)
{
    ASSERT_TRUE(Open());
    ASSERT_TRUE(sink.WaitForFrames(5, 20s));
    // Bytes come faster than the close's receive time-out: a wait that each byte restarted never ends.
    camera.SetFaults(Faults({"trickle=rtsp:80"}));
    const auto took = Timed([&] { Close(); });
    std::printf("CloseStream during a trickled TEARDOWN: %lld ms\n", static_cast<long long>(took.count()));
    EXPECT_LT(took, kPromptClose);
    EXPECT_EQ(CountRequests(camera, "rtsp TEARDOWN"), 1u);
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
