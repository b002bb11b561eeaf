// What cameras and networks do to a running stream: the stream recovers (or signal
// loss is reported), the host only ever receives whole access units of the clip, and
// every library thread is gone once the stream is closed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "SimHost.h"
#include "rtp/RtpPortRange.h"
#include "sim/H264Packetizer.h"

using namespace channeltest;

namespace {

// UDP ports bound by sockets of this process (the library's and the simulator's).
std::set<uint16_t> OwnUdpPorts()
{
    std::set<std::string> inodes;
    for (int fd = 0; fd < 4096; ++fd) {
        char target[128];
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        std::string text(target, static_cast<size_t>(n));
        if (text.rfind("socket:[", 0) == 0)
            inodes.insert(text.substr(8, text.size() - 9));
    }
    std::set<uint16_t> ports;
    std::ifstream table("/proc/self/net/udp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        if (inodes.count(inode))
            ports.insert(static_cast<uint16_t>(std::stoul(local.substr(local.find(':') + 1), nullptr, 16)));
    }
    return ports;
}

// Datagrams a hostile or broken sender might produce: noise, RTP-looking headers with a
// foreign SSRC and fragments, RTCP BYEs and reports, empty and maximum-size datagrams.
void SendGarbage(const std::string& fromAddress, const std::set<uint16_t>& ports, unsigned seed)
{
    int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(sock, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, fromAddress.c_str(), &from.sin_addr);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&from), sizeof from), 0) << fromAddress;
    std::mt19937 random(seed);
    auto bytes = [&](size_t size) {
        std::vector<uint8_t> data(size);
        for (uint8_t& b : data)
            b = static_cast<uint8_t>(random());
        return data;
    };
    for (uint16_t port : ports) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int i = 0; i < 200; ++i) {
            std::vector<uint8_t> data = bytes(static_cast<size_t>(random() % 1500));
            // Noise; an FU-A; a marker set; an RTCP BYE; a sender report; empty or maximum size.
            const std::vector<uint8_t> heads[] = {{}, {0x80, 96}, {0x80, 0xe0}, {}, {0x80, 200, 0xff, 0xff}, {}};
            std::copy(heads[i % 6].begin(), heads[i % 6].begin() + std::min(heads[i % 6].size(), data.size()),
                      data.begin());
            if (i % 6 == 1 && data.size() >= 14)
                data[12] = 0x7c;
            else if (i % 6 == 3)
                data = {0x81, 203, 0, 1, 1, 2, 3, 4};
            else if (i % 6 == 5)
                data = i % 12 == 5 ? std::vector<uint8_t>{} : bytes(65507);
            sendto(sock, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
    }
    close(sock);
}

class FaultMatrix : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(camera->Start()); }

    void CloseAndExpectNoThreads(Device& device)
    {
        EXPECT_TRUE(device.CloseStream(0, 0));
        EXPECT_EQ(LibraryThreadCount(), 0);
    }

    std::unique_ptr<sim::Simulator> camera = std::make_unique<sim::Simulator>(SimOptions());
};

struct NetworkFault {
    const char* name;
    const char* fault;
    size_t frames;            // frames that must arrive; at 20% loss a large key frame rarely survives whole
    bool everyFrame = false;  // no frame may be missing: the fault loses no packet
};

class RtpLoss : public FaultMatrix, public ::testing::WithParamInterface<NetworkFault>
{};

}  // namespace

TEST_P(RtpLoss, OnlyWholeAccessUnitsReachTheHost)
{
    camera->SetFaults(Faults({GetParam().fault}));
    host::ChannelSink sink;
    {
        Device device(*camera, FixedProfilesConfiguration(1));
        ASSERT_TRUE(device.OpenStream(0, 0, sink));
        ASSERT_TRUE(WaitUntil([&] { return camera->GetRtspStats().rtpPackets >= 500; }, 30s));
        EXPECT_TRUE(sink.WaitForFrames(GetParam().frames, 20s));
        // A stream that never gets a whole frame through is reported lost to the host.
        if (sink.FrameCount() == 0) {
            EXPECT_TRUE(sink.WaitForSignalLost(1, 30s));
        }
        CloseAndExpectNoThreads(device);
    }
    ExpectWholeAccessUnits(sink.Frames());
    // Reordered and duplicated packets are put back in order: none is lost to a sequence gap.
    if (GetParam().everyFrame)
        ExpectFramesFollowTheClip(sink.Frames());
}

INSTANTIATE_TEST_SUITE_P(Rates, RtpLoss,
                         ::testing::Values(NetworkFault{"loss_0_05", "loss=0.05", 20},
                                           NetworkFault{"loss_0_2", "loss=0.2", 0},
                                           NetworkFault{"duplicate_0_2", "duplicate=0.2", 20, true},
                                           NetworkFault{"reorder_0_1", "reorder=0.1", 20, true},
                                           NetworkFault{"reorder_0_01", "reorder=0.01", 20, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The session is set up but no packet ever arrives: the host must hear of it, as it
// does of a stream that stops (it once heard nothing at all).
TEST_F(FaultMatrix, StreamThatNeverDeliversIsReportedLost)
{
    camera->SetFaults(Faults({"loss=1"}));
    host::ChannelSink sink;
    Device device(*camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    EXPECT_TRUE(sink.WaitForSignalLost(1, 30s));
    EXPECT_GE(CountRequests(*camera, "rtsp PLAY"), 2u);  // and it keeps trying
    camera->SetFaults({});
    EXPECT_TRUE(sink.WaitForFrames(5, 30s));
    CloseAndExpectNoThreads(device);
}

TEST_F(FaultMatrix, CameraRestartedOnTheSamePortsIsPickedUpAgain)
{
    host::ChannelSink sink;
    Device device(*camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(sink.WaitForFrames(10, 20s));

    const sim::SimulatorPorts ports = camera->Ports();
    camera.reset();  // the camera dies mid-stream
    sim::SimulatorOptions options = SimOptions();
    options.httpPort = ports.http;
    options.rtspPort = ports.rtsp;
    options.ptzPort = ports.ptz;
    camera = std::make_unique<sim::Simulator>(options);
    ASSERT_TRUE(camera->Start());

    const size_t before = sink.FrameCount();
    ASSERT_TRUE(sink.WaitForFrames(before + 10, 40s));
    EXPECT_GE(CountRequests(*camera, "rtsp PLAY"), 1u);
    CloseAndExpectNoThreads(device);
    ExpectWholeAccessUnits(sink.Frames());
}

// From another host, then from the camera's own address but not the ports its SETUP
// answer named: the latter once ended up inside delivered frames, and a forged BYE
// restarted the stream.
TEST_F(FaultMatrix, GarbageDatagramsAreIgnored)
{
    host::ChannelSink sink;
    Device device(*camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(sink.WaitForFrames(10, 20s));
    const std::set<uint16_t> ports = OwnUdpPorts();
    ASSERT_GE(ports.size(), 2u);
    unsigned seed = 0;
    for (const char* from : {"127.0.0.2", "127.0.0.1"}) {
        SendGarbage(from, ports, ++seed);
        const size_t before = sink.FrameCount();
        ASSERT_TRUE(sink.WaitForFrames(before + 10, 30s)) << from;
    }
    EXPECT_EQ(CountRequests(*camera, "rtsp PLAY"), 1u) << "a forged RTCP BYE restarted the stream";
    CloseAndExpectNoThreads(device);
    ExpectWholeAccessUnits(sink.Frames());
}

TEST_F(FaultMatrix, StreamUriNamingAnotherHostStillStreamsFromTheDevice)
{
    // 192.0.2.1 is a documentation address nobody answers at: frames can only come
    // from the device's own host.
    sim::SimulatorOptions options = SimOptions();
    options.rtspPort = camera->Ports().rtsp;
    camera.reset();
    options.rtspUri = "rtsp://192.0.2.1:" + std::to_string(options.rtspPort) + "/media/Profile_1_1";
    camera = std::make_unique<sim::Simulator>(options);
    ASSERT_TRUE(camera->Start());

    host::ChannelSink sink;
    Device device(*camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(sink.WaitForFrames(10, 20s));
    EXPECT_GE(CountRequests(*camera, "rtsp PLAY"), 1u);
    CloseAndExpectNoThreads(device);
}

// The camera's datagrams come from another port pair than its SETUP answer names (NAT,
// or an ephemeral sending socket): the stream follows them, says so once, and still
// delivers only the clip.
TEST_F(FaultMatrix, CameraSendingFromAnUnannouncedPortIsFollowed)
{
    camera->SetFaults(Faults({"unannounced-port"}));
    host::ChannelSink sink;
    Device device(*camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(sink.WaitForFrames(50, 20s));
    EXPECT_EQ(CountRequests(*camera, "rtsp PLAY"), 1u);
    EXPECT_EQ(sink.SignalLostCount(), 0);
    const std::vector<host::DebugRecord> notes = device.debug.Find("instead of port");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(int{notes[0].level}, 2);
    // Once followed, strangers on the camera's address are still kept out.
    SendGarbage("127.0.0.1", OwnUdpPorts(), 7);
    const size_t before = sink.FrameCount();
    ASSERT_TRUE(sink.WaitForFrames(before + 10, 30s));
    EXPECT_EQ(CountRequests(*camera, "rtsp PLAY"), 1u) << "a forged RTCP BYE restarted the stream";
    CloseAndExpectNoThreads(device);
    ExpectWholeAccessUnits(sink.Frames());
}

// A SETUP answer without a server_port, and a stranger on the camera's address that sends
// RTP of the stream's payload type before the camera does: the camera's stream (its SSRC,
// in sequence) still wins the port, and the stranger never gets in.
TEST_F(FaultMatrix, WithoutAServerPortTheFirstSenderDoesNotClaimTheStream)
{
    camera->SetFaults(Faults({"no-server-port", "slow=rtsp:700"}));  // room between SETUP and PLAY
    host::ChannelSink sink;
    Device device(*camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(WaitForRequests(*camera, "rtsp SETUP", 1, 20s));
    std::set<uint16_t> targets;
    for (uint16_t port : OwnUdpPorts())
        if (port >= velkora::kRtpPortFirst && port < velkora::kRtpPortEnd && port % 2 == 0)
            targets.insert(port);
    ASSERT_FALSE(targets.empty());
    std::atomic<bool> stop{false};
    std::thread stranger([&] {
        int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::set<uint16_t> live = targets;
        for (uint16_t sequence = 0; !stop; ++sequence) {
            // Only ports this process still holds: a port the channel gave up may belong to
            // another test's channel by now (the suite runs tests in parallel on loopback).
            if (sequence % 20 == 0) {
                const std::set<uint16_t> own = OwnUdpPorts();
                std::erase_if(live, [&](uint16_t port) { return own.count(port) == 0; });
            }
            const sim::Bytes packet = sim::MakeRtpPacket(96, true, sequence, sequence * 3600u, 0x0badf00d,
                                                         sim::Bytes{0x65, 0x88, 0x84, 0x00, 0x33});
            for (uint16_t port : live) {
                to.sin_port = htons(port);
                sendto(sock, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            }
            std::this_thread::sleep_for(5ms);
        }
        close(sock);
    });
    EXPECT_TRUE(sink.WaitForFrames(25, 20s));
    stop = true;
    stranger.join();
    CloseAndExpectNoThreads(device);
    ExpectWholeAccessUnits(sink.Frames());
}
