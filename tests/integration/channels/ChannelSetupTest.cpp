// How a stream start configures the camera over ONVIF, as the simulator's state shows it.
#include "SimHost.h"

using namespace channeltest;

namespace {

class ChannelSetup : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(camera.Start()); }

    size_t Changes() const
    {
        size_t n = 0;
        for (const char* op : {"CreateProfile", "DeleteProfile", "AddVideoSourceConfiguration",
                               "AddVideoEncoderConfiguration", "RemoveVideoSourceConfiguration",
                               "RemoveVideoEncoderConfiguration"})
            n += CountRequests(camera, std::string("onvif ") + op);
        return n;
    }

    sim::Simulator camera{SimOptions(2)};
};

}  // namespace

TEST_F(ChannelSetup, MatchingProfileIsUsedWithoutChanges)
{
    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 1, sink));
    ASSERT_TRUE(sink.WaitForFrames(5, 20s));
    EXPECT_EQ(Changes(), 0u);
    EXPECT_EQ(sink.Frames().front().sourceName, "Harnoquistel::LiveStream");
    // Every DESCRIBE (a second one answers the authentication challenge) asks for the profile's stream.
    EXPECT_EQ(CountRequests(camera, "rtsp DESCRIBE " + camera.StreamUrl("Profile_1_2")),
              CountRequests(camera, "rtsp DESCRIBE "));
    EXPECT_TRUE(device.CloseStream(0, 1));
}

TEST_F(ChannelSetup, WithoutMatchOwnLiveProfileIsCreatedAndBound)
{
    host::ChannelSink sink;
    host::ChannelSink again;
    // No profile of the camera binds source 1 with an encoder of source 2.
    Device device(camera, "source0=VideoSourceConfig_1;profile0Live=Missing;encoder0Live=VideoEncoderConfig_2_2");
    ASSERT_TRUE(device.OpenStream(0, 1, sink));
    ASSERT_TRUE(sink.WaitForFrames(5, 20s));
    std::vector<sim::MediaProfile> own;
    for (const sim::MediaProfile& p : camera.Device().Profiles())
        if (p.name == "Velkora_VideoSourceConfig_1_Live")
            own.push_back(p);
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0].sourceConfiguration, "VideoSourceConfig_1");
    EXPECT_EQ(own[0].encoderConfiguration, "VideoEncoderConfig_2_2");
    EXPECT_EQ(CountRequests(camera, "onvif CreateProfile"), 1u);

    // The next start finds the profile by its name and changes nothing.
    const size_t before = Changes();
    ASSERT_TRUE(device.CloseStream(0, 1));
    ASSERT_TRUE(device.OpenStream(0, 1, again));
    ASSERT_TRUE(again.WaitForFrames(3, 20s));
    EXPECT_EQ(Changes(), before);
    EXPECT_TRUE(device.CloseStream(0, 1));
}

TEST_F(ChannelSetup, EncoderIsWrittenFromTheRequestOnceOnly)
{
    host::ChannelSink sink;
    host::ChannelSink again;
    Device device(camera, FixedProfilesConfiguration(1));
    host::StreamRecord request;
    request.width = 1280;
    request.height = 720;
    request.frameRate = 0x7000 | 12;
    request.quality = 50;
    ASSERT_TRUE(device.OpenStream(0, 1, sink, request));
    ASSERT_TRUE(sink.WaitForFrames(5, 20s));
    EXPECT_EQ(CountRequests(camera, "onvif SetVideoEncoderConfiguration"), 1u);

    // Encoder 1_2 runs a fixed 25 fps thinned by an interval 1..5, quality 1..10,
    // bitrate 64..8192 kbit/s, GOV 1..150, profiles Baseline, Main, High.
    auto encoder = camera.Device().EncoderConfiguration("VideoEncoderConfig_1_2");
    ASSERT_TRUE(encoder);
    EXPECT_EQ(encoder->encoding, "H264");
    EXPECT_EQ(encoder->width, 1280u);
    EXPECT_EQ(encoder->height, 720u);
    EXPECT_EQ(encoder->frameRateLimit, 25u);
    EXPECT_EQ(encoder->encodingInterval, 2u);                          // 25 / 2 is nearest to 12
    EXPECT_EQ(static_cast<unsigned>(encoder->quality), 5u);             // 1 + 9 * 49 / 99, written whole
    EXPECT_EQ(encoder->bitrateLimit, static_cast<unsigned>(64 + 8128.0 * 49 / 99 + 0.5));
    EXPECT_EQ(encoder->govLength, 12u);
    EXPECT_EQ(encoder->h264Profile, "Baseline");

    ASSERT_TRUE(device.CloseStream(0, 1));
    ASSERT_TRUE(device.OpenStream(0, 1, again, request));
    ASSERT_TRUE(again.WaitForFrames(3, 20s));
    EXPECT_EQ(CountRequests(camera, "onvif SetVideoEncoderConfiguration"), 1u);
    EXPECT_TRUE(device.CloseStream(0, 1));
}

TEST_F(ChannelSetup, RefusedOptionalChangesAreGivenUpAfterFourAttempts)
{
    // Same resolution as the encoder has: only the bitrate changes, which the camera refuses.
    camera.SetFaults(Faults({"onvif-fault=SetVideoEncoderConfiguration"}));
    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1));
    host::StreamRecord request;
    request.quality = 100;
    ASSERT_TRUE(device.OpenStream(0, 0, sink, request));
    ASSERT_TRUE(sink.WaitForFrames(3, 30s));
    EXPECT_EQ(CountRequests(camera, "onvif SetVideoEncoderConfiguration"), 4u);
    EXPECT_EQ(device.debug.Find("Unable to set video configuration options for \"VideoEncoderConfig_1_1\"").size(), 1u);
    EXPECT_TRUE(device.CloseStream(0, 0));
}
