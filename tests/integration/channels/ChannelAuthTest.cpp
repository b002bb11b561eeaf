// Streams of a camera that demands HTTP Digest on ONVIF (its 401 lists Basic first) and whose clock is not ours.
#include "SimHost.h"

using namespace channeltest;

namespace {

// A token carrying the password itself, in the body or in a Basic header.
bool SentPlainPassword(const sim::OnvifRequestRecord& request)
{
    return request.body.find("<wsse:Password>") != std::string::npos ||
           request.body.find("#PasswordText") != std::string::npos || request.authorization.rfind("Basic", 0) == 0;
}

}  // namespace

TEST(ChannelAuth, FramesEqualTheClipBehindDigestAndAnOffsetClock)
{
    for (const auto& [specs, offset] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"onvif-digest", "clock=3600:30"}, "3600"}, {{"clock=-3600:30"}, "-3600"}, {{"onvif-digest=only"}, ""}}) {
        sim::SimulatorOptions options = SimOptions();
        options.faults = Faults(specs);
        sim::Simulator camera(options);
        ASSERT_TRUE(camera.Start());
        host::ChannelSink sink;
        Device device(camera, FixedProfilesConfiguration(1));
        ASSERT_TRUE(device.OpenStream(0, 0, sink)) << offset;
        ASSERT_TRUE(sink.WaitForFrames(30, 20s)) << offset;
        EXPECT_TRUE(device.CloseStream(0, 0));

        ExpectFramesFollowTheClip(sink.Frames());

        const auto notes =
            device.debug.Find(offset.empty() ? "differs from ours" : "differs from ours by " + offset + " seconds");
        ASSERT_EQ(notes.size(), offset.empty() ? 0u : 1u) << offset;
        for (const auto& note : notes)
            EXPECT_EQ(note.level, 2);
        size_t digestAnswers = 0;
        for (const sim::OnvifRequestRecord& request : camera.OnvifRequests()) {
            EXPECT_FALSE(SentPlainPassword(request)) << request.operation;
            digestAnswers += request.authorization.rfind("Digest ", 0) == 0;
        }
        EXPECT_EQ(digestAnswers > 0, specs.front().rfind("onvif-digest", 0) == 0) << offset;
    }
}
