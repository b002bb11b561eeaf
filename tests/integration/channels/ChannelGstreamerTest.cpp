// Against an RTSP server nobody here wrote: the simulator answers ONVIF and hands out the
// address of GStreamer's RTSP server.
#include "SimHost.h"
#include "support/Process.h"

using namespace channeltest;

// Over UDP by default; then, as told, inside the connection of a server that refuses UDP
// (the switch on its refusal is the transport test's, against the simulator).
TEST(ChannelGstreamer, FramesFromGstreamerDecodeCleanly)
{
    for (const bool interleavedOnly : {false, true}) {
        SCOPED_TRACE(interleavedOnly);
        // It prints its port, and ends when its standard input closes.
        std::vector<std::string> args{"/usr/bin/python3", HQ_CHANNEL_TEST_DIR "/gst_h264_server.py"};
        if (interleavedOnly)
            args.push_back("tcp");
        ChildProcess gst(args);
        unsigned port = 0;
        if (std::sscanf(gst.ReadLine(30000).c_str(), "PORT %u", &port) != 1)
            GTEST_SKIP() << "GStreamer's RTSP server is not available";
        sim::SimulatorOptions options = SimOptions();
        options.rtspUri = "rtsp://127.0.0.1:" + std::to_string(port) + "/live";
        sim::Simulator camera(options);
        ASSERT_TRUE(camera.Start());
        host::ChannelSink sink;
        if (interleavedOnly)
            setenv("HARNOQUISTEL_RTSP_TRANSPORT", "tcp", 1);
        Device device(camera, FixedProfilesConfiguration(1));
        unsetenv("HARNOQUISTEL_RTSP_TRANSPORT");
        ASSERT_TRUE(device.OpenStream(0, 1, sink));
        // GStreamer sends its first sender report within about 5 s; ours answers it.
        ASSERT_TRUE(sink.WaitForFrames(interleavedOnly ? 200 : 50, 30s));
        EXPECT_TRUE(device.CloseStream(0, 1));
        EXPECT_EQ(LibraryThreadCount(), 0);
        EXPECT_EQ(CountRequests(camera, "rtsp "), 0u);  // the video came from GStreamer
        EXPECT_TRUE(device.debug.Find("switches to RTP inside the RTSP connection").empty());
        if (interleavedOnly) {
            EXPECT_NE(gst.Finish().find("RTCP "), std::string::npos) << "no receiver report reached GStreamer";
        }
        const std::vector<host::ReceivedFrame> frames = sink.Frames();
        EXPECT_EQ(std::make_pair(frames.front().width, frames.front().height),
                  (std::pair<uint16_t, uint16_t>(640, 480)));
        ExpectFramesDecode(frames);
    }
}
