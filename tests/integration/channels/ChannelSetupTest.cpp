// How a stream start configures the camera over ONVIF, as the simulator's log and state show.
#include "SimHost.h"

using namespace channeltest;

namespace {

class ChannelSetup : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(camera.Start()); }
    // Create/Delete profile, Add/Remove its source or encoder configuration.
    size_t ProfileChanges() const
    {
        size_t n = 0;
        for (const char* op : {"Create", "Delete", "Add", "Remove"})
            n += CountRequests(camera, std::string("onvif ") + op);
        return n;
    }
    size_t EncoderWrites() const { return CountRequests(camera, "onvif SetVideoEncoderConfiguration"); }
    // Opens kind 1 of channel 0, waits for frames and closes it again.
    void Stream(Device& device, host::StreamRecord request = {})
    {
        host::ChannelSink sink;
        ASSERT_TRUE(device.OpenStream(0, 1, sink, request));
        EXPECT_TRUE(sink.WaitForFrames(3, 30s));
        // Closed also without frames, so that the test fails rather than crashes.
        if (const auto frames = sink.Frames(); !frames.empty()) {
            EXPECT_EQ(frames.front().sourceName, "Harnoquistel::LiveStream");
        }
        EXPECT_TRUE(device.CloseStream(0, 1));
    }
    sim::Simulator camera{SimOptions(2)};
};

}  // namespace

TEST_F(ChannelSetup, MatchingProfileUsedAndEncoderWrittenOnce)
{
    Device device(camera, FixedProfilesConfiguration(1));
    host::StreamRecord request;
    request.frameRate = 0x7000 | 12;
    Stream(device, request);
    EXPECT_EQ(ProfileChanges(), 0u);
    EXPECT_EQ(CountRequests(camera, "rtsp PLAY " + camera.StreamUrl("Profile_1_2")), 1u);
    EXPECT_EQ(EncoderWrites(), 1u);

    // Encoder 1_2 runs a fixed 25 fps thinned by an interval 1..5, quality 1..10,
    // bitrate 64..8192, GOV 1..150, profiles Baseline, Main, High.
    auto encoder = camera.Device().EncoderConfiguration("VideoEncoderConfig_1_2");
    ASSERT_TRUE(encoder);
    // Quality 1 + 9 * 49 / 99, written whole.
    EXPECT_EQ(std::make_tuple(encoder->width, encoder->height, encoder->frameRateLimit, encoder->encodingInterval,
                              static_cast<unsigned>(encoder->quality), encoder->bitrateLimit, encoder->govLength),
              std::make_tuple(1280u, 720u, 25u, 2u, 5u, 4087u, 12u));
    EXPECT_EQ(encoder->h264Profile, "Baseline");

    Stream(device, request);  // the same request again writes nothing
    EXPECT_EQ(EncoderWrites(), 1u);
}

TEST_F(ChannelSetup, WithoutMatchOwnProfileIsCreatedAndBound)
{
    // No profile of the camera binds source 1 with an encoder of source 2.
    Device device(camera, "source0=VideoSourceConfig_1;profile0Live=Missing;encoder0Live=VideoEncoderConfig_2_2");
    Stream(device);
    std::vector<std::string> own;
    for (const sim::MediaProfile& p : camera.Device().Profiles())
        if (p.name == "Velkora_VideoSourceConfig_1_Live")
            own.push_back(p.sourceConfiguration + " " + p.encoderConfiguration);
    EXPECT_EQ(own, std::vector<std::string>{"VideoSourceConfig_1 VideoEncoderConfig_2_2"});
    const size_t changes = ProfileChanges();
    Stream(device);  // found by its name next time
    EXPECT_EQ(ProfileChanges(), changes);
}

TEST_F(ChannelSetup, RefusedOptionalChangesAreGivenUpAfterFourAttempts)
{
    camera.SetFaults(Faults({"onvif-fault=SetVideoEncoderConfiguration"}));
    Device device(camera, FixedProfilesConfiguration(1));
    host::StreamRecord request;  // the encoder's own resolution: only optional settings change
    request.width = 640;
    request.height = 480;
    Stream(device, request);
    EXPECT_EQ(EncoderWrites(), 4u);
    EXPECT_EQ(device.debug.Find("Unable to set video configuration options for \"VideoEncoderConfig_1_2\"").size(), 1u);
}
