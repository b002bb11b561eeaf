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

// Over UDP by default; then a server that refuses UDP, reached on our own (auto) or as told (tcp).
TEST(ChannelGstreamer, FramesFromGstreamerDecodeCleanly)
{
    for (const char* transport : {"", "auto", "tcp"}) {
        SCOPED_TRACE(transport);
        const bool interleavedOnly = *transport != '\0';
        GstServer gst(interleavedOnly ? "tcp" : nullptr);
        if (gst.port == 0)
            GTEST_SKIP() << "GStreamer's RTSP server is not available";
        sim::SimulatorOptions options = SimOptions();
        options.rtspUri = "rtsp://127.0.0.1:" + std::to_string(gst.port) + "/live";
        sim::Simulator camera(options);
        ASSERT_TRUE(camera.Start());
        host::ChannelSink sink;
        if (interleavedOnly)
            setenv("HARNOQUISTEL_RTSP_TRANSPORT", transport, 1);
        Device device(camera, FixedProfilesConfiguration(1));
        unsetenv("HARNOQUISTEL_RTSP_TRANSPORT");
        ASSERT_TRUE(device.OpenStream(0, 1, sink));
        // GStreamer sends its first sender report within about 5 s; ours answers it.
        ASSERT_TRUE(sink.WaitForFrames(interleavedOnly ? 200 : 50, 30s));
        EXPECT_TRUE(device.CloseStream(0, 1));
        EXPECT_EQ(LibraryThreadCount(), 0);
        EXPECT_EQ(CountRequests(camera, "rtsp "), 0u);  // the video came from GStreamer
        const auto switches = device.debug.Find("switches to RTP inside the RTSP connection");
        if (std::string(transport) == "auto") {
            ASSERT_EQ(switches.size(), 1u);  // GStreamer refuses UDP with 461
            EXPECT_NE(switches[0].text.find("461"), std::string::npos);
        } else {
            EXPECT_TRUE(switches.empty());
        }
        if (interleavedOnly) {
            EXPECT_NE(gst.Finish().find("RTCP "), std::string::npos) << "no receiver report reached GStreamer";
        }
        const std::vector<host::ReceivedFrame> frames = sink.Frames();
        EXPECT_EQ(std::make_pair(frames.front().width, frames.front().height),
                  (std::pair<uint16_t, uint16_t>(640, 480)));
        ExpectFramesDecode(frames);
    }
}
