// The channel recovers by itself from what cameras and networks do, and every thread of a
// stream ends when the host closes it, whatever the stream was doing.
#include <algorithm>
#include <thread>

#include "SimHost.h"

using namespace channeltest;

namespace {

using ChannelRecovery = CameraStream;

// Over UDP (the default) and inside the RTSP connection alike.
class StreamRecovery : public CameraStream, public ::testing::WithParamInterface<const char*>
{
protected:
    // Every session of the stream stays on its transport.
    void ExpectTransportKept()
    {
        const sim::RtspStats stats = camera.GetRtspStats();
        EXPECT_EQ(stats.interleavedSessions, std::string(GetParam()) == "tcp" ? stats.sessionsCreated : 0u);
    }
};

}  // namespace

TEST_P(StreamRecovery, ByeRestartsTheStream)
{
    camera.SetFaults(Faults({"bye-after=1.5"}));
    ASSERT_TRUE(Open(GetParam()));
    ASSERT_TRUE(WaitForRequests(camera, "rtsp PLAY", 2, 20s));
    camera.SetFaults({});
    EXPECT_GE(CountRequests(camera, "rtsp TEARDOWN"), 1u);
    EXPECT_TRUE(sink.WaitForFrames(sink.FrameCount() + 10, 20s));
    ExpectTransportKept();
}

TEST_P(StreamRecovery, SilentStreamIsRestartedAndSignalLossReported)
{
    camera.SetFaults(Faults({"stop-after=3"}));  // silent once the second key frame is out
    ASSERT_TRUE(Open(GetParam()));
    ASSERT_TRUE(WaitForRequests(camera, "rtsp PLAY", 1, 20s));
    camera.SetFaults(Faults({"stop-after=3", "onvif-fault=GetStreamUri"}));  // and no restart succeeds
    ASSERT_TRUE(sink.WaitForFrames(1, 20s));
    ASSERT_TRUE(sink.WaitForSignalLost(1, 30s));
    ASSERT_TRUE(device->debug.WaitFor("Signal was lost for camera 127.0.0.1 (Rec)", 5s));
    EXPECT_EQ(device->debug.Find("Signal was lost").size(), 1u);
    camera.SetFaults({});
    EXPECT_TRUE(sink.WaitForFrames(sink.FrameCount() + 10, 20s));
    EXPECT_EQ(device->debug.Find("is online").size(), 2u);
    ExpectTransportKept();
}

INSTANTIATE_TEST_SUITE_P(Transports, StreamRecovery, ::testing::Values("auto", "tcp"));

TEST_F(ChannelRecovery, RefusedRtspIsRetried)
{
    camera.SetFaults(Faults({"refuse-rtsp*3"}));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(sink.WaitForFrames(5, 60s));
    EXPECT_EQ(camera.GetRtspStats().connectionsRefused, 3u);
    EXPECT_GE(CountRequests(camera, "onvif GetStreamUri"), 4u);
}

TEST_F(ChannelRecovery, WrongPasswordIsReportedOnceAndBacksOff)
{
    ASSERT_TRUE(Open(nullptr, "wrong"));
    ASSERT_TRUE(WaitForRequests(camera, "onvif GetProfiles", 6, 30s));  // digest, then plain: 3 attempts
    // The attempts came at 0, 2 and 6 s; the next is due at 14 s (at a second's pace there
    // would be three more by then).
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(CountRequests(camera, "onvif GetProfiles"), 6u);
    std::vector<host::DebugRecord> failures = device->debug.Find("Unable to receive list of media profiles");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].level, 1);
    const std::vector<host::DebugRecord> backOff = device->debug.Find("refused the login of channel 0 (SOAP ");
    ASSERT_EQ(backOff.size(), 1u);
    EXPECT_EQ(backOff[0].level, 1);
    EXPECT_EQ(sink.FrameCount(), 0u);
}

// A close cancels the ONVIF exchange in flight: that is the library's doing, not a device
// failure, whichever step of a first start or of a restart it lands in.
TEST(ChannelClose, CloseDuringPreparationLogsNoFailure)
{
    sim::Simulator camera{SimOptions()};
    ASSERT_TRUE(camera.Start());
    host::ChannelSink sink;
    auto count = [&](const std::string& operation) {
        const std::vector<std::string> lines = camera.RequestLog();
        return static_cast<size_t>(std::count(lines.begin(), lines.end(), "onvif " + operation));
    };
    auto closeDuring = [&](Device& device, const std::string& operation, size_t occurrence) {
        SCOPED_TRACE(operation);
        ASSERT_TRUE(WaitUntil([&] { return count(operation) >= occurrence; }, 30s));
        std::this_thread::sleep_for(200ms);  // the exchange is waiting for its answer
        EXPECT_TRUE(device.CloseStream(0, 0));
        for (const host::DebugRecord& record : device.debug.Messages())
            EXPECT_NE(int{record.level}, 1) << record.text;
    };
    camera.SetFaults(Faults({"slow=onvif:1500"}));
    for (const char* operation : {"GetProfiles", "GetVideoEncoderConfigurationOptions", "GetStreamUri"}) {
        const size_t next = count(operation) + 1;
        Device device(camera, FixedProfilesConfiguration(1));
        ASSERT_TRUE(device.OpenStream(0, 0, sink));
        closeDuring(device, operation, next);
    }

    // The camera stops sending: the close lands in the preparation of the restart.
    camera.SetFaults({});
    Device device(camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(sink.WaitForFrames(5, 20s));
    const size_t next = count("GetVideoEncoderConfiguration") + 1;
    camera.SetFaults(Faults({"loss=1", "slow=onvif:1500"}));
    closeDuring(device, "GetVideoEncoderConfiguration", next);
    EXPECT_EQ(LibraryThreadCount(), 0);
}
