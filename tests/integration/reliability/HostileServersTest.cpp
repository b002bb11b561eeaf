// ONVIF answers that are cut short or enormous: the channel keeps retrying without a
// frame, and closes promptly. (The XML parser's own tests cover hostile markup; the RTSP
// and HTTP clients' cover silent peers and answers that trickle in.)
#include <functional>

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

std::vector<HostileAnswer> HostileAnswers()
{
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
    };
}

}  // namespace

// The camera is real but for its answer to GetProfiles: taking the spoiled answer for a
// good one would start the stream.
TEST_P(HostileOnvif, NoStreamAndPromptClose)
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
}

INSTANTIATE_TEST_SUITE_P(Answers, HostileOnvif, ::testing::ValuesIn(HostileAnswers()),
                         [](const auto& info) { return std::string(info.param.name); });
