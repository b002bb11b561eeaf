// The channel recovers by itself from what cameras and networks do, and stops promptly
// whatever it is doing.
#include "SimHost.h"

using namespace channeltest;

namespace {

class ChannelRecovery : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(camera.Start()); }

    void CloseAndExpectNoThreads(Device& device, uint32_t kind = 0)
    {
        EXPECT_TRUE(device.CloseStream(0, kind));
        EXPECT_EQ(LibraryThreadCount(), 0);
    }

    sim::Simulator camera{SimOptions()};
};

}  // namespace

TEST_F(ChannelRecovery, ByeRestartsTheStream)
{
    camera.SetFaults(Faults({"bye-after=1.5"}));
    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(WaitForRequests(camera, "rtsp PLAY", 1, 20s));
    camera.SetFaults({});
    ASSERT_TRUE(WaitForRequests(camera, "rtsp PLAY", 2, 20s));
    EXPECT_GE(CountRequests(camera, "rtsp TEARDOWN"), 1u);
    const size_t before = sink.FrameCount();
    ASSERT_TRUE(sink.WaitForFrames(before + 10, 20s));
    EXPECT_GE(camera.GetRtspStats().byesSent, 1u);
    CloseAndExpectNoThreads(device);
}

TEST_F(ChannelRecovery, SilentStreamIsRestartedAndSignalLossReported)
{
    // Silent 3 s after PLAY: the stream has passed its second key frame by then.
    camera.SetFaults(Faults({"stop-after=3"}));
    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(WaitForRequests(camera, "rtsp PLAY", 1, 20s));
    // Every later preparation fails, so no frame arrives again until the camera recovers.
    camera.SetFaults(Faults({"onvif-fault=GetStreamUri"}));
    ASSERT_TRUE(sink.WaitForFrames(1, 20s));
    ASSERT_TRUE(sink.WaitForSignalLost(1, 30s));
    ASSERT_TRUE(device.debug.WaitFor("Signal was lost for camera 127.0.0.1 (Rec)", 5s));
    EXPECT_EQ(device.debug.Find("Signal was lost for camera 127.0.0.1 (Rec)").size(), 1u);
    EXPECT_GE(CountRequests(camera, "onvif GetStreamUri"), 2u);

    camera.SetFaults({});
    const size_t before = sink.FrameCount();
    ASSERT_TRUE(sink.WaitForFrames(before + 10, 20s));
    EXPECT_EQ(device.debug.Find("is online").size(), 2u);
    CloseAndExpectNoThreads(device);
}

TEST_F(ChannelRecovery, LossAndReorderNeverDeliverDamagedFrames)
{
    camera.SetFaults(Faults({"loss=0.01", "reorder=0.01", "duplicate=0.01"}));
    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(sink.WaitForFrames(60, 60s));
    CloseAndExpectNoThreads(device);

    auto clip = LoadClip(1280, 720);
    ASSERT_TRUE(clip);
    std::vector<host::ReceivedFrame> frames = sink.Frames();
    int previous = -1;
    for (size_t i = 0; i < frames.size(); ++i) {
        int index = FindInClip(*clip, frames[i].data);
        ASSERT_GE(index, 0) << "frame " << i << " is not a frame of the clip";
        // A frame follows its predecessor in the clip, or a gap ended and decoding
        // starts over at a key frame.
        const bool successor = previous >= 0 && static_cast<size_t>(index) ==
                                                    (static_cast<size_t>(previous) + 1) % clip->frames.size();
        EXPECT_TRUE(successor || clip->frames[static_cast<size_t>(index)].idr) << "frame " << i;
        previous = index;
    }
}

TEST_F(ChannelRecovery, RefusedRtspIsRetried)
{
    camera.SetFaults(Faults({"refuse-rtsp*3"}));
    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(sink.WaitForFrames(5, 60s));
    EXPECT_EQ(camera.GetRtspStats().connectionsRefused, 3u);
    EXPECT_GE(CountRequests(camera, "onvif GetStreamUri"), 4u);
    CloseAndExpectNoThreads(device);
}

TEST_F(ChannelRecovery, WrongPasswordIsReportedOnce)
{
    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1), 1, "wrong");
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    // Digest, then plain text, on every attempt: three attempts.
    ASSERT_TRUE(WaitForRequests(camera, "onvif GetProfiles", 6, 30s));
    std::vector<host::DebugRecord> failures = device.debug.Find("Unable to receive list of media profiles");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].level, 1);
    EXPECT_NE(failures[0].text.find("from device 127.0.0.1:"), std::string::npos);
    EXPECT_EQ(sink.FrameCount(), 0u);
    CloseAndExpectNoThreads(device);
}

TEST_F(ChannelRecovery, CloseDuringSlowOnvifEndsPromptly)
{
    camera.SetFaults(Faults({"slow=onvif:5000"}));
    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(WaitForRequests(camera, "onvif GetProfiles", 1, 20s));
    CloseAndExpectNoThreads(device);
}
