#include "rtsp/CBaseRTSPClient.h"
#include "rtsp/RtspAuthorization.h"

#include "ScriptedRtspServer.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>

using namespace velkora;
using namespace std::chrono_literals;

namespace {

class TestOwner : public IDebugMessage {
public:
    std::string GetName() override { return "127.0.0.1:80"; }
    void DebugMessage(int32_t, const char*, ...) override {}
};

class TestUser : public IRTSPClientUser {
public:
    void OnRTCPBye() override {}
    bool OnDescribe(const MediaDescription& media) override {
        std::lock_guard<std::mutex> lock(mutex_);
        described_ = true;
        media_ = media;
        return acceptDescribe;
    }
    void OnRTPPacket(const CRTPPacket&) override {}
    void OnSessionClosed() override {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }
    bool WaitClosed() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return closed_; });
    }
    bool Closed() {
        std::lock_guard<std::mutex> lock(mutex_);
        return closed_;
    }
    MediaDescription Media() {
        std::lock_guard<std::mutex> lock(mutex_);
        return media_;
    }

    bool acceptDescribe = true;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool described_ = false;
    bool closed_ = false;
    MediaDescription media_;
};

const std::string kSdp =
    "v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=cam\r\nt=0 0\r\n"
    "m=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n"
    "a=fmtp:96 packetization-mode=1;sprop-parameter-sets=Z0IAHpWoKA9k,aM48gA==\r\na=control:track1\r\n";

RTSPSessionSettings Settings(std::uint16_t port, const std::string& path = "/live") {
    RTSPSessionSettings s;
    s.host = "127.0.0.1";
    s.rtspPort = port;
    s.rtpClientPort = 3556;
    s.rtcpClientPort = 3557;
    s.streamPath = path;
    return s;
}

// Answers like a camera without authentication.
std::string PlainCamera(const std::string& request, const std::string& sessionHeader, const std::string& contentBase) {
    if (request.starts_with("DESCRIBE")) {
        return ScriptedRtspServer::Answer(request, "200 OK",
                                          contentBase.empty() ? "" : "Content-Base: " + contentBase + "\r\n", kSdp);
    }
    if (request.starts_with("SETUP")) {
        return ScriptedRtspServer::Answer(request, "200 OK",
                                          "Transport: RTP/AVP;unicast;client_port=3556-3557;server_port=6970-6971\r\n"
                                          "Session: " + sessionHeader + "\r\n");
    }
    return ScriptedRtspServer::Answer(request);
}

}  // namespace

TEST(RtspClient, SessionRequestsByteForByteWithKeepAliveAndTeardown) {
    ScriptedRtspServer server([](const std::string& r, std::size_t) {
        return PlainCamera(r, "abc123;timeout=1", "rtsp://127.0.0.1/live/");
    });
    TestOwner owner;
    TestUser user;
    CBaseRTSPClient client(&owner);
    ASSERT_TRUE(client.Open(Settings(server.Port(), "//live"), &user));
    // DESCRIBE, SETUP, PLAY, then OPTIONS every idle turn (1 s time-out: 500 ms interval).
    ASSERT_TRUE(server.WaitForRequests(5));
    EXPECT_TRUE(client.GetLastResult());
    client.Close();
    EXPECT_TRUE(user.WaitClosed());
    const auto requests = server.Requests();
    ASSERT_GE(requests.size(), 6u);
    const std::string base = "rtsp://127.0.0.1/live/";
    EXPECT_EQ(requests[0], "DESCRIBE rtsp://127.0.0.1:" + std::to_string(server.Port()) +
                               "/live RTSP/1.0\r\nCSeq: 1\r\nUser-Agent: Velkora\r\nAccept: application/sdp\r\n\r\n");
    EXPECT_EQ(requests[1], "SETUP rtsp://127.0.0.1/live/track1 RTSP/1.0\r\nCSeq: 2\r\nUser-Agent: Velkora\r\n"
                           "Transport: RTP/AVP/UDP;unicast;client_port=3556-3557\r\n\r\n");
    EXPECT_EQ(requests[2], "PLAY " + base + " RTSP/1.0\r\nCSeq: 3\r\nUser-Agent: Velkora\r\n"
                                            "Session: abc123\r\nRange: npt=0.000-\r\n\r\n");
    EXPECT_EQ(requests[3], "OPTIONS " + base + " RTSP/1.0\r\nCSeq: 4\r\nUser-Agent: Velkora\r\nSession: abc123\r\n\r\n");
    EXPECT_EQ(requests[4], "OPTIONS " + base + " RTSP/1.0\r\nCSeq: 5\r\nUser-Agent: Velkora\r\nSession: abc123\r\n\r\n");
    EXPECT_EQ(requests.back(), "TEARDOWN " + base + " RTSP/1.0\r\nCSeq: " + std::to_string(requests.size()) +
                                   "\r\nUser-Agent: Velkora\r\nSession: abc123\r\n\r\n");
    EXPECT_EQ(user.Media().sps.size(), 9u);
    EXPECT_EQ(user.Media().pps.size(), 4u);
}

TEST(RtspClient, MediaUrlFromContentBaseAndControl) {
    struct Case {
        std::string contentBase, path, control, expected;
    } cases[] = {
        {"rtsp://cam/live/", "/x", "track1", "rtsp://cam/live/track1"},
        {"rtsp://cam/live", "/x", "/track1", "rtsp://cam/live/track1"},
        {"", "/stream1?profile=2", "rtsp://cam/live/track1", "rtsp://cam/live/track1"},
        {"", "/stream1?profile=2", "trackID=0", "rtsp://127.0.0.1:PORT/stream1?profile=2/trackID=0"},
    };
    for (const Case& c : cases) {
        ScriptedRtspServer server([&](const std::string& r, std::size_t) {
            if (r.starts_with("DESCRIBE")) {
                std::string sdp = "m=video 0 RTP/AVP 96\r\na=control:" + c.control + "\r\n";
                return ScriptedRtspServer::Answer(
                    r, "200 OK", c.contentBase.empty() ? "" : "Content-Base: " + c.contentBase + "\r\n", sdp);
            }
            return ScriptedRtspServer::Answer(r, "404 Not Found");
        });
        std::string expected = c.expected;
        if (const auto at = expected.find("PORT"); at != std::string::npos) {
            expected.replace(at, 4, std::to_string(server.Port()));
        }
        TestOwner owner;
        TestUser user;
        CBaseRTSPClient client(&owner);
        ASSERT_TRUE(client.Open(Settings(server.Port(), c.path), &user));
        ASSERT_TRUE(user.WaitClosed());  // the refused SETUP ends the session
        client.Close();
        const auto requests = server.Requests();
        ASSERT_GE(requests.size(), 2u);
        EXPECT_TRUE(requests[1].starts_with("SETUP " + expected + " RTSP/1.0\r\n")) << requests[1];
        EXPECT_FALSE(client.GetLastResult());
    }
}

TEST(RtspClient, BasicChallengeIsAnsweredOnceAndKept) {
    ScriptedRtspServer server([](const std::string& r, std::size_t) {
        if (r.find("Authorization: Basic YWRtaW46c2VjcmV0\r\n") == std::string::npos) {
            return ScriptedRtspServer::Answer(r, "401 Unauthorized", "WWW-Authenticate: Basic realm=\"cam\"\r\n");
        }
        return PlainCamera(r, "77", "");
    });
    TestOwner owner;
    TestUser user;
    CBaseRTSPClient client(&owner);
    RTSPSessionSettings settings = Settings(server.Port());
    settings.userName = "admin";
    settings.password = "secret";
    ASSERT_TRUE(client.Open(settings, &user));
    ASSERT_TRUE(server.WaitForRequests(4));
    client.Close();
    const auto requests = server.Requests();
    EXPECT_TRUE(requests[0].starts_with("DESCRIBE "));
    EXPECT_EQ(requests[0].find("Authorization"), std::string::npos);
    EXPECT_NE(requests[1].find("CSeq: 2\r\nAuthorization: Basic YWRtaW46c2VjcmV0\r\nUser-Agent: Velkora\r\n"),
              std::string::npos);
    EXPECT_TRUE(requests[2].starts_with("SETUP "));
    EXPECT_NE(requests[2].find("CSeq: 3\r\nAuthorization: Basic"), std::string::npos);
    EXPECT_TRUE(requests[3].starts_with("PLAY "));
}

TEST(RtspClient, DigestWithWrongPasswordGetsExactlyOneRetry) {
    ScriptedRtspServer server([](const std::string& r, std::size_t) {
        return ScriptedRtspServer::Answer(r, "401 Unauthorized",
                                          "WWW-Authenticate: Digest realm=\"cam\", nonce=\"n0nce\", stale=FALSE\r\n");
    });
    TestOwner owner;
    TestUser user;
    CBaseRTSPClient client(&owner);
    RTSPSessionSettings settings = Settings(server.Port(), "/s");
    settings.userName = "admin";
    settings.password = "wrong";
    ASSERT_TRUE(client.Open(settings, &user));
    ASSERT_TRUE(user.WaitClosed());
    client.Close();
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);  // a failed DESCRIBE ends the session without TEARDOWN
    const std::string url = "rtsp://127.0.0.1:" + std::to_string(server.Port()) + "/s";
    EXPECT_EQ(requests[1], "DESCRIBE " + url + " RTSP/1.0\r\nCSeq: 2\r\n" +
                               MakeAuthorization(kAuthDigest, "admin", "wrong", "cam", "n0nce", "DESCRIBE", url) +
                               "User-Agent: Velkora\r\nAccept: application/sdp\r\n\r\n");
    EXPECT_NE(requests[1].find("username=\"admin\", realm=\"cam\", nonce=\"n0nce\", uri=\"" + url + "\""),
              std::string::npos);
}

TEST(RtspClient, RejectedDescriptionStillTearsDown) {
    ScriptedRtspServer server([](const std::string& r, std::size_t) { return PlainCamera(r, "1", ""); });
    TestOwner owner;
    TestUser user;
    user.acceptDescribe = false;
    CBaseRTSPClient client(&owner);
    ASSERT_TRUE(client.Open(Settings(server.Port()), &user));
    ASSERT_TRUE(user.WaitClosed());
    client.Close();
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[1].starts_with("TEARDOWN "));
}

// The header block of this answer is well beyond 512 bytes.
TEST(RtspClient, LongHeaderBlockIsReadToItsEnd) {
    ScriptedRtspServer server([](const std::string& r, std::size_t) {
        if (r.starts_with("DESCRIBE")) {
            return ScriptedRtspServer::Answer(r, "200 OK", "X-Padding: " + std::string(3000, 'p') + "\r\n", kSdp);
        }
        return PlainCamera(r, "1", "");
    });
    TestOwner owner;
    TestUser user;
    CBaseRTSPClient client(&owner);
    ASSERT_TRUE(client.Open(Settings(server.Port()), &user));
    ASSERT_TRUE(server.WaitForRequests(3));
    client.Close();
    EXPECT_TRUE(server.Requests()[1].starts_with("SETUP "));
    EXPECT_EQ(user.Media().pps.size(), 4u);
}

TEST(RtspClient, HeaderBlockBeyondItsBoundFailsTheRequest) {
    ScriptedRtspServer server([](const std::string& r, std::size_t) {
        return ScriptedRtspServer::Answer(r, "200 OK", "X-Padding: " + std::string(70000, 'p') + "\r\n", kSdp);
    });
    TestOwner owner;
    TestUser user;
    CBaseRTSPClient client(&owner);
    ASSERT_TRUE(client.Open(Settings(server.Port()), &user));
    ASSERT_TRUE(user.WaitClosed());
    client.Close();
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_FALSE(client.GetLastResult());
}

TEST(RtspClient, ValuesWithLineBreaksAreNeverSent) {
    {
        // From the host: a stream path that would add a header.
        ScriptedRtspServer server([](const std::string& r, std::size_t) { return PlainCamera(r, "1", ""); });
        TestOwner owner;
        TestUser user;
        CBaseRTSPClient client(&owner);
        ASSERT_TRUE(client.Open(Settings(server.Port(), "/live\r\nX-Injected: 1"), &user));
        ASSERT_TRUE(user.WaitClosed());
        client.Close();
        EXPECT_TRUE(server.Requests().empty());
    }
    {
        // From the device: a content base with a bare line feed.
        ScriptedRtspServer server([](const std::string& r, std::size_t) {
            return PlainCamera(r, "1", "rtsp://127.0.0.1/live/\nX-Injected: 1");
        });
        TestOwner owner;
        TestUser user;
        CBaseRTSPClient client(&owner);
        ASSERT_TRUE(client.Open(Settings(server.Port()), &user));
        ASSERT_TRUE(user.WaitClosed());
        client.Close();
        EXPECT_EQ(server.Requests().size(), 1u);  // DESCRIBE only; SETUP and TEARDOWN refused
    }
    {
        // A password with a line break is refused when a challenge asks for it.
        ScriptedRtspServer server([](const std::string& r, std::size_t) {
            return ScriptedRtspServer::Answer(r, "401 Unauthorized",
                                              "WWW-Authenticate: Digest realm=\"cam\", nonce=\"n\"\r\n");
        });
        TestOwner owner;
        TestUser user;
        CBaseRTSPClient client(&owner);
        RTSPSessionSettings settings = Settings(server.Port());
        settings.userName = "admin";
        settings.password = "pw\r\nX-Injected: 1";
        ASSERT_TRUE(client.Open(settings, &user));
        ASSERT_TRUE(user.WaitClosed());
        client.Close();
        EXPECT_EQ(server.Requests().size(), 1u);
    }
}

// Long time-outs: if Close did not wake the session, the test would hang, not pass.
TEST(RtspClient, CloseEndsPromptlyWhenTheServerNeverAnswers) {
    ScriptedRtspServer server([](const std::string&, std::size_t) { return std::string(); });
    TestOwner owner;
    TestUser user;
    CBaseRTSPClient client(&owner);
    RTSPSessionSettings settings = Settings(server.Port());
    settings.receiveTimeoutMs = 600000;
    settings.connectTimeoutMs = 600000;
    ASSERT_TRUE(client.Open(settings, &user));
    ASSERT_TRUE(server.WaitForRequests(1));
    client.Close();
    EXPECT_TRUE(user.Closed());
    EXPECT_FALSE(client.GetLastResult());
}

TEST(RtspClient, RefusedOrUnresolvableConnectionFailsOpen) {
    std::uint16_t freePort;
    {
        ScriptedRtspServer probe([](const std::string&, std::size_t) { return std::string(); });
        freePort = probe.Port();
    }
    TestOwner owner;
    TestUser user;
    CBaseRTSPClient client(&owner);
    RTSPSessionSettings settings = Settings(freePort);
    settings.connectTimeoutMs = 600000;
    EXPECT_FALSE(client.Open(settings, &user));
    settings.host = "";
    EXPECT_FALSE(client.Open(settings, &user));
    settings.host = "no-such-host.invalid";
    EXPECT_FALSE(client.Open(settings, &user));
    EXPECT_FALSE(user.Closed());
}
