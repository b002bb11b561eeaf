// The RTSP client against GStreamer's RTSP server: a peer nobody here wrote.

#include "rtsp/CBaseRTSPClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdarg>
#include <mutex>
#include <string>

extern char** environ;

using namespace velkora;

namespace {

// The Python server, run until its standard input is closed.
class GstreamerServer {
public:
    explicit GstreamerServer(const std::string& mode) {
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        posix_spawn_file_actions_addclose(&actions, toChild[1]);
        posix_spawn_file_actions_addclose(&actions, fromChild[0]);
        std::string script = GST_RTSP_SERVER_SCRIPT;
        char* argv[] = {const_cast<char*>("/usr/bin/python3"), script.data(), const_cast<char*>(mode.c_str()),
                        const_cast<char*>("admin"), const_cast<char*>("secret"), nullptr};
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        stdin_ = toChild[1];
        ReadFirstLine(fromChild[0]);
        close(fromChild[0]);
    }

    ~GstreamerServer() {
        if (stdin_ >= 0) close(stdin_);
        if (pid_ > 0) {
            int status;
            waitpid(pid_, &status, 0);
        }
    }

    std::uint16_t Port() const { return port_; }
    const std::string& Skip() const { return skip_; }

private:
    void ReadFirstLine(int fd) {
        std::string line;
        char c;
        while (line.find('\n') == std::string::npos) {
            pollfd pfd{fd, POLLIN, 0};
            if (poll(&pfd, 1, 30000) <= 0 || read(fd, &c, 1) != 1) break;
            line += c;
        }
        if (line.starts_with("PORT ")) {
            port_ = static_cast<std::uint16_t>(std::stoi(line.substr(5)));
        } else if (line.starts_with("SKIP ")) {
            skip_ = line.substr(5);
        }
    }

    pid_t pid_ = -1;
    int stdin_ = -1;
    std::uint16_t port_ = 0;
    std::string skip_;
};

class UdpPort {
public:
    UdpPort() {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~UdpPort() { close(fd_); }
    std::uint16_t Port() const { return port_; }
    // Bounded wait for one datagram; empty when none came.
    std::string Receive() {
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, 20000) <= 0) return {};
        char buffer[2048];
        const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
        return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

class TestOwner : public IDebugMessage {
public:
    std::string GetName() override { return "127.0.0.1:554"; }
    void DebugMessage(int32_t, const char*, ...) override {}
};

class TestUser : public IRTSPClientUser {
public:
    void OnRTCPBye() override {}
    bool OnDescribe(const MediaDescription& media) override {
        std::lock_guard<std::mutex> lock(mutex_);
        spsSize = media.sps.size();
        rtpMap = media.video.rtpMap;
        return true;
    }
    void OnRTPPacket(const CRTPPacket&) override {}
    void OnSessionClosed() override {
        std::lock_guard<std::mutex> lock(mutex_);
        closed = true;
        changed_.notify_all();
    }
    bool WaitClosed() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return closed; });
    }
    std::condition_variable changed_;
    std::mutex mutex_;
    std::size_t spsSize = 0;
    std::string rtpMap;
    bool closed = false;
};

void PlayFromGstreamer(const std::string& mode, const std::string& password = "secret", bool expectVideo = true) {
    GstreamerServer server(mode);
    if (!server.Skip().empty()) GTEST_SKIP() << "GStreamer RTSP server unavailable: " << server.Skip();
    ASSERT_NE(server.Port(), 0) << "the GStreamer RTSP server did not start";
    UdpPort rtp, rtcp;
    TestOwner owner;
    TestUser user;
    CBaseRTSPClient client(&owner);
    RTSPSessionSettings settings;
    settings.host = "127.0.0.1";
    settings.rtspPort = server.Port();
    settings.streamPath = "/test";
    settings.rtpClientPort = rtp.Port();
    settings.rtcpClientPort = rtcp.Port();
    settings.userName = "admin";
    settings.password = password;
    ASSERT_TRUE(client.Open(settings, &user));
    if (!expectVideo) {
        // The wrong password ends the session after DESCRIBE and its one retry.
        EXPECT_TRUE(user.WaitClosed());
        EXPECT_FALSE(client.GetLastResult());
        client.Close();
        return;
    }
    // H.264 over RTP at the offered port: wait for a datagram carrying the SPS.
    bool sawSps = false;
    for (int i = 0; i < 50 && !sawSps; ++i) {
        const std::string datagram = rtp.Receive();
        ASSERT_GT(datagram.size(), 12u) << "no RTP at the offered client port";
        EXPECT_EQ(static_cast<std::uint8_t>(datagram[0]) >> 6, 2);    // RTP version
        EXPECT_EQ(static_cast<std::uint8_t>(datagram[1]) & 0x7f, 96);  // payload type
        sawSps = (datagram[12] & 0x1f) == 7;
    }
    EXPECT_TRUE(sawSps);
    EXPECT_TRUE(client.GetLastResult());
    client.Close();
    EXPECT_TRUE(user.WaitClosed());
    std::lock_guard<std::mutex> lock(user.mutex_);
    EXPECT_GT(user.spsSize, 0u);
    EXPECT_EQ(user.rtpMap, "H264/90000");
}

}  // namespace

TEST(RtspClientWithGstreamer, PlaysWithoutAuthentication) { PlayFromGstreamer("none"); }
TEST(RtspClientWithGstreamer, PlaysWithBasic) { PlayFromGstreamer("basic"); }
TEST(RtspClientWithGstreamer, PlaysWithDigest) { PlayFromGstreamer("digest"); }
TEST(RtspClientWithGstreamer, WrongDigestPasswordEndsTheSession) { PlayFromGstreamer("digest", "wrong", false); }
