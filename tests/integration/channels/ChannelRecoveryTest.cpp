// The channel recovers by itself from what cameras and networks do, and every thread of a
// stream ends when the host closes it, whatever the stream was doing.
#include "SimHost.h"

using namespace channeltest;

namespace {

class ChannelRecovery : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(camera.Start()); }
    bool Open(std::string password = "admin")
    {
        device = std::make_unique<Device>(camera, FixedProfilesConfiguration(1), 1, password);
        return device->OpenStream(0, 0, sink);
    }
    void TearDown() override
    {
        ASSERT_TRUE(device);
        EXPECT_TRUE(device->CloseStream(0, 0));
        EXPECT_EQ(LibraryThreadCount(), 0);
    }
    sim::Simulator camera{SimOptions()};
    host::ChannelSink sink;
    std::unique_ptr<Device> device;
};

}  // namespace

TEST_F(ChannelRecovery, ByeRestartsTheStream)
{
    camera.SetFaults(Faults({"bye-after=1.5"}));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitForRequests(camera, "rtsp PLAY", 1, 20s));
    camera.SetFaults({});
    ASSERT_TRUE(WaitForRequests(camera, "rtsp PLAY", 2, 20s));
    EXPECT_GE(CountRequests(camera, "rtsp TEARDOWN"), 1u);
    EXPECT_TRUE(sink.WaitForFrames(sink.FrameCount() + 10, 20s));
}

TEST_F(ChannelRecovery, SilentStreamIsRestartedAndSignalLossReported)
{
    camera.SetFaults(Faults({"stop-after=3"}));  // silent once the second key frame is out
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitForRequests(camera, "rtsp PLAY", 1, 20s));
    camera.SetFaults(Faults({"onvif-fault=GetStreamUri"}));  // and no restart succeeds
    ASSERT_TRUE(sink.WaitForFrames(1, 20s));
    ASSERT_TRUE(sink.WaitForSignalLost(1, 30s));
    ASSERT_TRUE(device->debug.WaitFor("Signal was lost for camera 127.0.0.1 (Rec)", 5s));
    EXPECT_EQ(device->debug.Find("Signal was lost").size(), 1u);
    camera.SetFaults({});
    EXPECT_TRUE(sink.WaitForFrames(sink.FrameCount() + 10, 20s));
    EXPECT_EQ(device->debug.Find("is online").size(), 2u);
}

TEST_F(ChannelRecovery, RefusedRtspIsRetried)
{
    camera.SetFaults(Faults({"refuse-rtsp*3"}));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(sink.WaitForFrames(5, 60s));
    EXPECT_EQ(camera.GetRtspStats().connectionsRefused, 3u);
    EXPECT_GE(CountRequests(camera, "onvif GetStreamUri"), 4u);
}

TEST_F(ChannelRecovery, WrongPasswordIsReportedOnce)
{
    ASSERT_TRUE(Open("wrong"));
    ASSERT_TRUE(WaitForRequests(camera, "onvif GetProfiles", 6, 30s));  // digest, then plain: 3 attempts
    std::vector<host::DebugRecord> failures = device->debug.Find("Unable to receive list of media profiles");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].level, 1);
    EXPECT_EQ(sink.FrameCount(), 0u);
}

TEST_F(ChannelRecovery, CloseDuringSlowOnvifEndsPromptly)
{
    camera.SetFaults(Faults({"slow=onvif:5000"}));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitForRequests(camera, "onvif GetProfiles", 1, 20s));
}
