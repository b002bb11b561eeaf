// A host opens streams on the simulated camera and receives what it sends.
#include <algorithm>
#include <cstdio>

#include "SimHost.h"

using namespace channeltest;

namespace {

int64_t Milliseconds(const SYSTEMTIME& t)
{
    int64_t days = t.wDay;  // the runs are short: a day boundary only adds a constant
    return ((days * 24 + t.wHour) * 60 + t.wMinute) * 60000 + t.wSecond * 1000 + t.wMilliseconds;
}

class ChannelStream : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(camera.Start()); }
    sim::Simulator camera{SimOptions()};
};

}  // namespace

TEST_F(ChannelStream, FramesEqualTheClipWithSteadyTimes)
{
    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1));
    ASSERT_NE(device.capture, nullptr);
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(sink.WaitForFrames(60, 20s));
    EXPECT_TRUE(device.CloseStream(0, 0));
    EXPECT_EQ(LibraryThreadCount(), 0);

    std::vector<host::ReceivedFrame> frames = sink.Frames();
    auto clip = LoadClip(1280, 720);
    ASSERT_TRUE(clip);
    // Byte for byte: each access unit is the next one of the looping clip.
    int first = FindInClip(*clip, frames.front().data);
    ASSERT_GE(first, 0);
    EXPECT_TRUE(clip->frames[static_cast<size_t>(first)].idr);
    for (size_t i = 0; i < frames.size(); ++i) {
        size_t expected = (static_cast<size_t>(first) + i) % clip->frames.size();
        ASSERT_TRUE(SameSlices(SplitDelivered(frames[i].data), clip->frames[expected])) << "frame " << i;
        EXPECT_EQ(frames[i].width, 1280);
        EXPECT_EQ(frames[i].height, 720);
        EXPECT_EQ(frames[i].sourceName, "Harnoquistel::RecStream");
    }

    // Decoded picture for picture, as a decoder sees the recording.
    std::string recorded = TempPath("recorded.h264");
    ASSERT_TRUE(WriteAnnexB(recorded, frames));
    std::vector<std::string> got = DecodedFrameMd5(recorded);
    std::vector<std::string> want = DecodedFrameMd5(clip->path);
    std::remove(recorded.c_str());
    ASSERT_EQ(got.size(), frames.size());
    ASSERT_FALSE(want.empty());
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], want[(static_cast<size_t>(first) + i) % want.size()]) << "picture " << i;

    // 25 fps: the stamps follow the camera's clock, 40 ms apart.
    std::vector<int64_t> steps;
    for (size_t i = 1; i < frames.size(); ++i)
        steps.push_back(Milliseconds(frames[i].time) - Milliseconds(frames[i - 1].time));
    std::sort(steps.begin(), steps.end());
    EXPECT_NEAR(static_cast<double>(steps[steps.size() / 2]), 40.0, 3.0);
    int64_t span = Milliseconds(frames.back().time) - Milliseconds(frames.front().time);
    EXPECT_NEAR(static_cast<double>(span), 40.0 * static_cast<double>(frames.size() - 1), 40.0);

    EXPECT_EQ(device.debug.Find("is online").size(), 1u);
}

TEST(ChannelStreams, FourStreamsOfATwoChannelServer)
{
    sim::Simulator camera(SimOptions(2));
    ASSERT_TRUE(camera.Start());
    host::ChannelSink sinks[2][2];
    Device device(camera, FixedProfilesConfiguration(2), 2);
    ASSERT_NE(device.capture, nullptr);
    for (uint32_t channel = 0; channel < 2; ++channel)
        for (uint32_t kind = 0; kind < 2; ++kind)
            ASSERT_TRUE(device.OpenStream(channel, kind, sinks[channel][kind]));
    for (uint32_t channel = 0; channel < 2; ++channel)
        for (uint32_t kind = 0; kind < 2; ++kind)
            EXPECT_TRUE(sinks[channel][kind].WaitForFrames(10, 30s)) << channel << "/" << kind;
    EXPECT_EQ(device.debug.Find("Video-server 127.0.0.1 (channel 1) is online (Live)").size(), 1u);
    EXPECT_EQ(camera.GetRtspStats().playingSessions, 4u);
    // Each stream plays its own profile.
    for (const char* profile : {"Profile_1_1", "Profile_1_2", "Profile_2_1", "Profile_2_2"})
        EXPECT_GE(CountRequests(camera, "rtsp PLAY " + camera.StreamUrl(profile)), 1u) << profile;
    for (uint32_t channel = 0; channel < 2; ++channel)
        for (uint32_t kind = 0; kind < 2; ++kind)
            EXPECT_TRUE(device.CloseStream(channel, kind));
    EXPECT_EQ(LibraryThreadCount(), 0);
}

// A measurement, not a check: run with --gtest_also_run_disabled_tests.
TEST_F(ChannelStream, DISABLED_SixtySecondRun)
{
    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1));
    const auto opened = std::chrono::steady_clock::now();
    ASSERT_TRUE(device.OpenStream(0, 0, sink));
    ASSERT_TRUE(sink.WaitForFrames(1, 20s));
    const auto first = std::chrono::steady_clock::now();
    sink.WaitForFrames(1u << 30, 60s);  // just the 60 s
    EXPECT_TRUE(device.CloseStream(0, 0));

    std::vector<host::ReceivedFrame> frames = sink.Frames();
    std::printf("OpenStream to first frame: %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(first - opened).count()));
    std::printf("frames made by the library: %d, delivered to the host: %zu\n", device.frames.Created(),
                frames.size());
    // Gaps in the clip sequence tell frames the camera sent that never arrived.
    auto clip = LoadClip(1280, 720);
    ASSERT_TRUE(clip);
    size_t missing = 0;
    int previous = FindInClip(*clip, frames.front().data);
    for (size_t i = 1; i < frames.size(); ++i) {
        int index = FindInClip(*clip, frames[i].data);
        const size_t n = clip->frames.size();
        missing += (static_cast<size_t>(index) + n - static_cast<size_t>(previous) - 1) % n;
        previous = index;
    }
    std::printf("frames lost (gaps in the clip sequence): %zu\n", missing);
    std::printf("RTP packets sent by the camera: %llu, RTCP receiver reports: %llu\n",
                static_cast<unsigned long long>(camera.GetRtspStats().rtpPackets),
                static_cast<unsigned long long>(camera.GetRtspStats().receiverReports));
}
