// The library against an RTSP server nobody here wrote: the simulator answers ONVIF and
// hands out the address of GStreamer's RTSP server.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "SimHost.h"

using namespace channeltest;

namespace {

// GStreamer's RTSP server in a child process; it ends when its standard input closes.
class GstServer {
public:
    GstServer()
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            std::string script = std::string(HQ_CHANNEL_TEST_DIR) + "/gst_h264_server.py";
            char* argv[] = {const_cast<char*>("/usr/bin/python3"), script.data(), nullptr};
            execv(argv[0], argv);
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        output_ = fdopen(out[0], "r");
        char line[256];
        if (output_ && std::fgets(line, sizeof line, output_))
            std::sscanf(line, "PORT %hu", &port_);
    }
    ~GstServer()
    {
        if (stdin_ >= 0)
            close(stdin_);
        if (pid_ > 0) {
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        if (output_)
            fclose(output_);
    }
    uint16_t Port() const { return port_; }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    FILE* output_ = nullptr;
    uint16_t port_ = 0;
};

std::string RunCommand(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    pclose(pipe);
    return output;
}

}  // namespace

TEST(ChannelGstreamer, FramesFromGstreamerDecodeCleanly)
{
    GstServer gst;
    if (gst.Port() == 0)
        GTEST_SKIP() << "GStreamer's RTSP server is not available";
    sim::SimulatorOptions options = SimOptions();
    options.rtspUri = "rtsp://127.0.0.1:" + std::to_string(gst.Port()) + "/live";
    sim::Simulator camera(options);
    ASSERT_TRUE(camera.Start());
    host::ChannelSink sink;
    Device device(camera, FixedProfilesConfiguration(1));
    ASSERT_TRUE(device.OpenStream(0, 1, sink));
    ASSERT_TRUE(sink.WaitForFrames(50, 30s));
    EXPECT_TRUE(device.CloseStream(0, 1));
    EXPECT_EQ(LibraryThreadCount(), 0);
    EXPECT_EQ(CountRequests(camera, "rtsp "), 0u);  // the stream came from GStreamer

    std::vector<host::ReceivedFrame> frames = sink.Frames();
    EXPECT_EQ(frames.front().width, 640);
    EXPECT_EQ(frames.front().height, 480);
    std::string recorded = TempPath("gstreamer.h264");
    ASSERT_TRUE(WriteAnnexB(recorded, frames));
    std::string errors = RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                             "stream=nb_read_frames -of csv=p=0 '" + recorded + "' 2>&1");
    std::remove(recorded.c_str());
    EXPECT_EQ(errors, std::to_string(frames.size()) + "\n");
}
