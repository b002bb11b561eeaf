#include <gtest/gtest.h>

#include "support/TestDriver.h"
#include "channels/CBaseCameraChannel.h"
#include "foundation/FileTime.h"
#include "host/Frames.h"

using namespace velkora;

namespace {

// A capture loop that waits for the stop request, or ignores it until released.
class TestChannel : public CBaseCameraChannel
{
public:
    using CBaseCameraChannel::CBaseCameraChannel;
    ~TestChannel() override { Stop(); }
    void SetStreamOption(uint32_t) override {}

    CManualEvent running, release;
    std::atomic<bool> stubborn{false}, stopsItself{false};
    std::atomic<int> stopHooks{0};

protected:
    uint32_t Run() override
    {
        running.Set();
        (stubborn ? release : stopEvent).Wait(WaitInfinite);
        if (stopsItself)
            StopCaptureThread();  // while a host thread may be waiting for us
        return 0;
    }
    void OnStopThread() override { ++stopHooks; }
};

class ChannelBaseTest : public ::testing::Test
{
protected:
    StreamParams Params(uint32_t kind, uint32_t quality = 60) { return {0x7000 | 25, quality, 1280, 720, 3, kind}; }

    TestDriver driver;
    host::ChannelSink sink;
};

const std::string Method = "velkora::CBaseCameraChannel::SetCameraState: ";

}  // namespace

TEST_F(ChannelBaseTest, CameraStateIsReportedOncePerChange)
{
    TestChannel camera(0, &driver, &sink);
    for (bool online : {false, true, true, false, false})  // never online at first: nothing to report
        camera.SetCameraState(online);                     // a new channel is stopped
    // A video server names the channel; the offline text follows the channel state.
    driver.channelCount = 2;
    TestChannel server(1, &driver, &sink);
    ASSERT_TRUE(server.Start(Params(StreamKindLive)));
    for (uint32_t state : {uint32_t{ChannelStreamLost}, 7u}) {
        server.SetCameraState(true);
        server.SetChannelState(state);
        server.SetCameraState(false);
    }
    const std::string server1 = "10.0.0.5 (channel 1)";
    EXPECT_EQ(driver.Texts(),
              (std::vector<std::string>{"3 " + Method + "Camera 10.0.0.5 is online (Rec)",
                                        "3 " + Method + "Camera 10.0.0.5 is offline. Channel was stopped (Rec)",
                                        "3 " + Method + "Video-server " + server1 + " is online (Live)",
                                        "1 " + Method + "Signal was lost for video-server " + server1 + " (Live)",
                                        "3 " + Method + "Video-server " + server1 + " is online (Live)",
                                        "1 " + Method + "Video-server " + server1 + " is offline or failed (Live)"}));
}

TEST_F(ChannelBaseTest, StartStopAndRestart)
{
    TestChannel channel(0, &driver, &sink);
    ASSERT_TRUE(channel.Start(Params(StreamKindRemote, 80)));
    ASSERT_TRUE(channel.running.Wait(10000));
    EXPECT_FALSE(channel.StartCaptureThread());  // one capture thread at a time

    channel.SetChannelState(ChannelStreaming);
    channel.SetCameraState(true);
    channel.running.Reset();
    ASSERT_TRUE(channel.Restart(Params(StreamKindRemote, 0)));
    ASSERT_TRUE(channel.running.Wait(10000));
    EXPECT_EQ(channel.GetStreamParams().quality, 80u);  // quality survives a restart
    EXPECT_EQ(channel.GetChannelState(), ChannelStopped);
    EXPECT_TRUE(channel.IsCameraOnline());  // a restart leaves the camera state alone
    EXPECT_EQ(channel.stopHooks, 1);

    channel.Stop();
    channel.Stop();  // idempotent
    EXPECT_FALSE(channel.IsCameraOnline());
    EXPECT_EQ(driver.Texts().back(), "3 " + Method + "Camera 10.0.0.5 is offline. Channel was stopped (Remote)");
}

// A capture thread that overruns the stop time-out is reported, then waited
// for. The test releases it from the warning itself.
TEST_F(ChannelBaseTest, OverrunningCaptureThreadIsReportedAndAwaited)
{
    driver.info.requestTimeout = 1;
    driver.channelCount = 3;
    TestChannel channel(2, &driver, &sink);
    channel.stubborn = true;
    driver.onMessage = [&](int32_t) { channel.release.Set(); };
    ASSERT_TRUE(channel.Start(Params(StreamKindRec)));
    ASSERT_TRUE(channel.running.Wait(10000));
    channel.Stop();
    EXPECT_EQ(driver.Texts(),
              (std::vector<std::string>{
                  "2 velkora::CBaseCameraChannel::StopThread: Video capture thread for video-server 10.0.0.5 "
                  "(channel 2) cannot be stopped and will be terminated now"}));
    channel.stubborn = false;
    EXPECT_TRUE(channel.Start(Params(StreamKindRec)));  // the old thread is gone
}

// The capture thread asking for its own stop must not wait for the lock that
// a stopping host thread holds while it waits for the capture thread.
TEST_F(ChannelBaseTest, CaptureThreadStoppingItselfDuringAHostStop)
{
    TestChannel channel(0, &driver, &sink);
    channel.stopsItself = true;
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(channel.Start(Params(StreamKindRec)));
        channel.Stop();
    }
    EXPECT_EQ(channel.stopHooks, 40);  // once per host stop, once per self stop
}

TEST_F(ChannelBaseTest, FrameDeliveryListenerAndHostExceptions)
{
    TestChannel channel(4, &driver, &sink), sinkless(0, &driver, nullptr);
    host::ChannelListener listener;
    channel.SetListener(&listener);
    const SYSTEMTIME time{2024, 5, 0, 17, 10, 20, 30, 400};
    host::HeapFrame frame(0, 16, "src");
    frame.SetTime(time);
    EXPECT_FALSE(channel.SendFrameCallback(nullptr) || sinkless.SendFrameCallback(&frame));
    EXPECT_TRUE(channel.SendFrameCallback(&frame));
    sink.SetAccepting(false);  // a refused frame is not announced
    EXPECT_FALSE(channel.SendFrameCallback(&frame));
    frame.SetTime(SYSTEMTIME{});  // unconvertible time: announced as 0
    sink.SetAccepting(true);
    EXPECT_TRUE(channel.SendFrameCallback(&frame));
    const auto times = listener.FrameTimes();
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(times[0].channel, 4u);
    EXPECT_EQ(times[0].fileTime, ToFileTime(time));
    EXPECT_EQ(times[1].fileTime, 0u);

    // Exceptions from the host stay inside.
    sink.SetOnFrame([](const host::ReceivedFrame&) { throw std::runtime_error("host failure"); });
    EXPECT_FALSE(channel.SendFrameCallback(&frame));
    sink.SetOnFrame(nullptr);
    class ThrowingListener : public ipcapture::IChannelListener
    {
        void OnFrameTime(uint32_t, uint64_t) override { throw 1; }
        void OnSignalLost(uint32_t) override {}
    } throwing;
    channel.SetListener(&throwing);
    EXPECT_TRUE(channel.SendFrameCallback(&frame));  // delivered despite the listener
    EXPECT_EQ(driver.Texts(), (std::vector<std::string>{
                                  "1 velkora::CBaseCameraChannel::SendFrameCallback(): Unexpected exception, device "
                                  "10.0.0.5:80",
                                  "1 velkora::CBaseCameraChannel::Notify_SendFrameCallback: Unhandled exception in "
                                  "driver instance for device 10.0.0.5:80"}));
}
