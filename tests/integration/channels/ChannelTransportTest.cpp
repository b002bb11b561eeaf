// RTP inside the RTSP connection: chosen when UDP does not reach the host, or always when
// asked for, with the stream's keep-alive unchanged (BYE and loss: the recovery tests).
#include "SimHost.h"

using namespace channeltest;

namespace {

constexpr const char* kSwitch = "switches to RTP inside the RTSP connection";

using ChannelTransport = CameraStream;

}  // namespace

TEST_F(ChannelTransport, AutoSwitchesOnceWhenNoDatagramArrives)
{
    camera.SetFaults(Faults({"udp-unreachable"}));
    ASSERT_TRUE(Open(nullptr));
    ASSERT_TRUE(sink.WaitForFrames(60, 50s));
    // The camera's sender reports are answered inside the connection.
    EXPECT_TRUE(WaitUntil([&] { return camera.GetRtspStats().receiverReports > 0; }, 10s));
    Close();
    const auto switches = device->debug.Find(kSwitch);
    ASSERT_EQ(switches.size(), 1u);
    EXPECT_EQ(switches[0].level, 2);
    EXPECT_NE(switches[0].text.find("no RTP datagram arrived after PLAY"), std::string::npos) << switches[0].text;
    const sim::RtspStats stats = camera.GetRtspStats();
    EXPECT_EQ(stats.sessionsCreated, 2u);  // one failed start on UDP, then TCP for good
    EXPECT_EQ(stats.interleavedSessions, 1u);
    ExpectFramesFollowTheClip(sink.Frames());
}

TEST_F(ChannelTransport, AutoSwitchesAtOnceWhenUdpIsRefused)
{
    camera.SetFaults(Faults({"udp-refused"}));
    ASSERT_TRUE(Open("auto"));
    ASSERT_TRUE(sink.WaitForFrames(30, 30s));
    const auto switches = device->debug.Find(kSwitch);
    ASSERT_EQ(switches.size(), 1u);
    EXPECT_NE(switches[0].text.find("461 Unsupported Transport"), std::string::npos) << switches[0].text;
    EXPECT_EQ(camera.GetRtspStats().interleavedSessions, camera.GetRtspStats().sessionsCreated);
}

// Told to stay on UDP, a camera that sends nothing is restarted on UDP, not switched (that
// the default stays on working UDP is the stream test's).
TEST_F(ChannelTransport, UdpNeverSwitches)
{
    camera.SetFaults(Faults({"udp-unreachable"}));
    ASSERT_TRUE(Open("udp"));
    ASSERT_TRUE(WaitForRequests(camera, "rtsp PLAY", 2, 40s));
    EXPECT_TRUE(device->debug.Find(kSwitch).empty());
    EXPECT_EQ(camera.GetRtspStats().interleavedSessions, 0u);
    EXPECT_EQ(sink.FrameCount(), 0u);
}

TEST(ChannelTransportKeepAlive, OptionsAnsweredAmongTheFramesKeepTheStream)
{
    sim::SimulatorOptions options = SimOptions();
    options.rtspSessionTimeout = 3;  // OPTIONS on every 2-s turn of the session loop
    sim::Simulator camera(options);
    ASSERT_TRUE(camera.Start());
    setenv("HARNOQUISTEL_RTSP_TRANSPORT", "tcp", 1);
    host::ChannelSink sink;
    {
        Device device(camera, FixedProfilesConfiguration(1));
        unsetenv("HARNOQUISTEL_RTSP_TRANSPORT");
        ASSERT_TRUE(device.OpenStream(0, 0, sink));
        ASSERT_TRUE(WaitForRequests(camera, "rtsp OPTIONS", 4, 30s));
        EXPECT_EQ(CountRequests(camera, "rtsp PLAY"), 1u);  // never restarted
        EXPECT_TRUE(device.CloseStream(0, 0));
        EXPECT_TRUE(WaitForRequests(camera, "rtsp TEARDOWN", 1, 5s));
    }
    EXPECT_EQ(LibraryThreadCount(), 0);
    EXPECT_EQ(camera.GetRtspStats().activeSessions, 0u);
    EXPECT_GE(sink.FrameCount(), 100u);
}
