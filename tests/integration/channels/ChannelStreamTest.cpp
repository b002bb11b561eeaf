// A host opens streams on the simulated camera and receives what it sends.
#include <algorithm>

#include "SimHost.h"

using namespace channeltest;

namespace {

int64_t Milliseconds(const SYSTEMTIME& t)
{
    return ((int64_t{t.wHour} * 60 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
}

using ChannelStream = CameraStream;

}  // namespace

TEST_F(ChannelStream, FramesEqualTheClipWithSteadyTimes)
{
    ASSERT_TRUE(Open());
    ASSERT_TRUE(sink.WaitForFrames(60, 20s));
    Close();
    EXPECT_EQ(device->debug.Find("is online").size(), 1u);
    EXPECT_EQ(camera.GetRtspStats().interleavedSessions, 0u);  // the default stays on working UDP

    // Byte for byte, each access unit is the next one of the looping clip, from a key frame on;
    // picture for picture, as a decoder sees the recording.
    std::vector<host::ReceivedFrame> frames = sink.Frames();
    ExpectFramesFollowTheClip(frames);
    auto clip = LoadClip(1280, 720);
    ASSERT_TRUE(clip);
    const size_t first = static_cast<size_t>(FindInClip(*clip, frames.front().data));
    const std::string recorded = WriteAnnexB("recorded.h264", frames);
    std::vector<std::string> got = FrameMd5s(recorded), want = FrameMd5s(clip->path);
    std::remove(recorded.c_str());
    ASSERT_EQ(got.size(), frames.size());
    ASSERT_EQ(want.size(), clip->frames.size());
    std::vector<int64_t> steps;
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(got[i], want[(first + i) % want.size()]) << "picture " << i;
        EXPECT_EQ(std::make_pair(frames[i].width, frames[i].height), (std::pair<uint16_t, uint16_t>(1280, 720)));
        EXPECT_EQ(frames[i].sourceName, "Harnoquistel::RecStream");
        if (i > 0)
            steps.push_back(Milliseconds(frames[i].time) - Milliseconds(frames[i - 1].time));
    }
    // 25 fps: the stamps follow the camera's clock, 40 ms apart.
    std::sort(steps.begin(), steps.end());
    EXPECT_NEAR(static_cast<double>(steps[steps.size() / 2]), 40.0, 3.0);
}

TEST(ChannelStreams, FourStreamsOfATwoChannelServer)
{
    sim::Simulator camera(SimOptions(2));
    ASSERT_TRUE(camera.Start());
    host::ChannelSink sinks[4];
    Device device(camera, FixedProfilesConfiguration(2), 2);
    for (uint32_t stream = 0; stream < 4; ++stream)
        ASSERT_TRUE(device.OpenStream(stream / 2, stream % 2, sinks[stream]));
    for (uint32_t stream = 0; stream < 4; ++stream)
        EXPECT_TRUE(sinks[stream].WaitForFrames(10, 30s)) << stream;
    EXPECT_EQ(device.debug.Find("Video-server 127.0.0.1 (channel 1) is online (Live)").size(), 1u);
    for (const char* profile : {"Profile_1_1", "Profile_1_2", "Profile_2_1", "Profile_2_2"})
        EXPECT_GE(CountRequests(camera, "rtsp PLAY " + camera.StreamUrl(profile)), 1u) << profile;
    for (uint32_t stream = 0; stream < 4; ++stream)
        EXPECT_TRUE(device.CloseStream(stream / 2, stream % 2));
    EXPECT_EQ(LibraryThreadCount(), 0);
}
