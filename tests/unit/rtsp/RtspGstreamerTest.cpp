// The RTSP client against GStreamer's RTSP server: a peer nobody here wrote.

#include "RtspTestPeers.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

using namespace velkora;

namespace {

// gst_rtsp_server.py, terminated when the test is done.
class GstreamerServer {
public:
    explicit GstreamerServer(const std::string& mode)
        : output_(popen(("exec /usr/bin/python3 " GST_RTSP_SERVER_SCRIPT " " + mode).c_str(), "r")) {
        char line[256] = "";
        if (output_ && fgets(line, sizeof line, output_)) firstLine_ = line;
        if (firstLine_.starts_with("PORT ")) sscanf(firstLine_.c_str(), "PORT %hu %d", &port_, &pid_);
    }
    ~GstreamerServer() {
        if (pid_ > 0) kill(pid_, SIGTERM);
        if (output_) pclose(output_);
    }
    // "PORT <port> <pid>" when serving, "SKIP <why>" when GStreamer is missing.
    const std::string& FirstLine() const { return firstLine_; }
    std::uint16_t Port() const { return port_; }

private:
    FILE* output_;
    std::string firstLine_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
};

// Bounded wait for one datagram on a loopback UDP port; empty when none came.
std::string ReceiveDatagram(int fd) {
    pollfd pfd{fd, POLLIN, 0};
    char buffer[2048];
    const ssize_t got = poll(&pfd, 1, 20000) > 0 ? recv(fd, buffer, sizeof buffer, 0) : -1;
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
}

void PlayFromGstreamer(const char* mode, const char* password = "secret") {
    GstreamerServer server(mode);
    if (server.FirstLine().starts_with("SKIP ")) GTEST_SKIP() << server.FirstLine();
    ASSERT_NE(server.Port(), 0) << "the GStreamer RTSP server did not start";
    const int rtp = socket(AF_INET, SOCK_DGRAM, 0), rtcp = socket(AF_INET, SOCK_DGRAM, 0);  // RTCP is not read
    RTSPSessionSettings settings;
    settings.host = "127.0.0.1";
    settings.rtspPort = server.Port();
    settings.streamPath = "/test";
    settings.rtpClientPort = BindLoopback(rtp);
    settings.rtcpClientPort = BindLoopback(rtcp);
    settings.userName = "admin";
    settings.password = password;
    TestOwner owner;
    TestUser user;
    CBaseRTSPClient client(&owner);
    ASSERT_TRUE(client.Open(settings, &user));
    if (std::string(password) != "secret") {
        EXPECT_TRUE(user.WaitClosed());  // after DESCRIBE and its one retry
        EXPECT_FALSE(client.GetLastResult());
    } else {
        // H.264 over RTP at the offered port: wait for the datagram carrying the SPS.
        bool sawSps = false;
        for (int i = 0; i < 50 && !sawSps; ++i) {
            const std::string datagram = ReceiveDatagram(rtp);
            ASSERT_GT(datagram.size(), 12u) << "no RTP at the offered client port";
            EXPECT_EQ(static_cast<std::uint8_t>(datagram[0]) >> 6, 2);    // RTP version
            EXPECT_EQ(static_cast<std::uint8_t>(datagram[1]) & 0x7f, 96);  // payload type
            sawSps = (datagram[12] & 0x1f) == 7;
        }
        EXPECT_TRUE(sawSps);
        EXPECT_TRUE(client.GetLastResult());
        EXPECT_EQ(user.Media().video.rtpMap, "H264/90000");
        EXPECT_FALSE(user.Media().sps.empty());
    }
    client.Close();
    EXPECT_TRUE(user.WaitClosed());
    close(rtp);
    close(rtcp);
}

}  // namespace

TEST(RtspClientWithGstreamer, PlaysWithoutAuthentication) { PlayFromGstreamer("none"); }
TEST(RtspClientWithGstreamer, PlaysWithBasic) { PlayFromGstreamer("basic"); }
TEST(RtspClientWithGstreamer, PlaysWithDigest) { PlayFromGstreamer("digest"); }
TEST(RtspClientWithGstreamer, WrongDigestPasswordEndsTheSession) { PlayFromGstreamer("digest", "wrong"); }
