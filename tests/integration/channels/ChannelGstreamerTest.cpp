// Against an RTSP server nobody here wrote: the simulator answers ONVIF and hands out the
// address of GStreamer's RTSP server.
#include <sys/wait.h>
#include <unistd.h>

#include "SimHost.h"

using namespace channeltest;

namespace {

// gst_h264_server.py in a child process; it ends when its standard input closes.
struct GstServer {
    explicit GstServer(const char* argument = nullptr)
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        if ((pid = fork()) == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            execl("/usr/bin/python3", "python3", HQ_CHANNEL_TEST_DIR "/gst_h264_server.py", argument,
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        input = in[1];
        output = fdopen(out[0], "r");
        char line[256];
        if (output && std::fgets(line, sizeof line, output))
            std::sscanf(line, "PORT %hu", &port);
    }
    // Ends the server; what it printed after the port line.
    std::string Finish()
    {
        close(input);
        input = -1;
        std::string rest;
        char line[256];
        while (output && std::fgets(line, sizeof line, output))
            rest += line;
        return rest;
    }
    ~GstServer()
    {
        if (input >= 0)
            close(input);
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        if (output)
            fclose(output);
    }
    pid_t pid = -1;
    int input = -1;
    FILE* output = nullptr;
    uint16_t port = 0;
};

}  // namespace

TEST(ChannelGstreamer, FramesFromGstreamerDecodeCleanly)
{
    GstServer gst;
    if (gst.port == 0)
        GTEST_SKIP() << "GStreamer's RTSP server is not available";
    sim::SimulatorOptions options = SimOptions();
    options.rtspUri = "rtsp://127.0.0.1:" + std::to_string(gst.port) + "/live";
    sim::Simulator camera(options);
    ASSERT_TRUE(camera.Start());
    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 1, sink));
    ASSERT_TRUE(sink.WaitForFrames(50, 30s));
    EXPECT_TRUE(device.CloseStream(0, 1));
    EXPECT_EQ(LibraryThreadCount(), 0);
    EXPECT_EQ(CountRequests(camera, "rtsp "), 0u);  // the video came from GStreamer

    std::vector<host::ReceivedFrame> frames = sink.Frames();
    EXPECT_EQ(std::make_pair(frames.front().width, frames.front().height), (std::pair<uint16_t, uint16_t>(640, 480)));
    const std::string recorded = WriteAnnexB("gstreamer.h264", frames);
    const std::string probe = RunCommand("ffprobe -v error -count_frames -show_entries stream=nb_read_frames "
                                         "-of csv=p=0 '" +
                                         recorded + "' 2>&1");
    std::remove(recorded.c_str());
    EXPECT_EQ(probe, std::to_string(frames.size()) + "\n");  // every frame decodes, no error printed
}

TEST(ChannelGstreamer, InterleavedOnlyServerInAutoAndTcp)
{
    for (const char* transport : {"auto", "tcp"}) {
        SCOPED_TRACE(transport);
        GstServer gst("tcp");
        if (gst.port == 0)
            GTEST_SKIP() << "GStreamer's RTSP server is not available";
        sim::SimulatorOptions options = SimOptions();
        options.rtspUri = "rtsp://127.0.0.1:" + std::to_string(gst.port) + "/live";
        sim::Simulator camera(options);
        ASSERT_TRUE(camera.Start());
        host::ChannelSink sink;
        setenv("HARNOQUISTEL_RTSP_TRANSPORT", transport, 1);
        Device device(camera, FixedProfilesConfiguration(1));
        unsetenv("HARNOQUISTEL_RTSP_TRANSPORT");
        ASSERT_TRUE(device.OpenStream(0, 1, sink));
        // GStreamer sends its first sender report within about 5 s; ours answers it.
        ASSERT_TRUE(sink.WaitForFrames(200, 30s));
        EXPECT_TRUE(device.CloseStream(0, 1));
        EXPECT_EQ(LibraryThreadCount(), 0);
        const auto switches = device.debug.Find("switches to RTP inside the RTSP connection");
        if (std::string(transport) == "auto") {
            ASSERT_EQ(switches.size(), 1u);  // GStreamer refuses UDP with 461
            EXPECT_NE(switches[0].text.find("461"), std::string::npos);
        } else {
            EXPECT_TRUE(switches.empty());
        }
        EXPECT_NE(gst.Finish().find("RTCP "), std::string::npos) << "no receiver report reached GStreamer";

        std::vector<host::ReceivedFrame> frames = sink.Frames();
        const std::string recorded = WriteAnnexB("gstreamer-tcp.h264", frames);
        const std::string probe = RunCommand("ffprobe -v error -count_frames -show_entries stream=nb_read_frames "
                                             "-of csv=p=0 '" +
                                             recorded + "' 2>&1");
        std::remove(recorded.c_str());
        EXPECT_EQ(probe, std::to_string(frames.size()) + "\n");  // every frame decodes, no error printed
    }
}
