#include "rtsp/RtspAuthorization.h"

#include "RtspTestPeers.h"
#include "unit/foundation/RecordingOwner.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace velkora;

namespace {

const std::string kSdp = "v=0\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n"
                         "a=fmtp:96 sprop-parameter-sets=Z0IAHpWoKA9k,aM48gA==\r\na=control:track1\r\n";

// A camera without authentication; `extra` goes into the DESCRIBE answer.
std::string Camera(const std::string& request, const std::string& session = "1", const std::string& extra = "")
{
    if (request.starts_with("DESCRIBE"))
        return ScriptedRtspServer::Answer(request, "200 OK", extra, kSdp);
    if (request.starts_with("SETUP")) {
        return ScriptedRtspServer::Answer(request, "200 OK",
                                          "Transport: RTP/AVP;unicast;client_port=3556-3557;"
                                          "server_port=6970-6971\r\nSession: " +
                                              session + "\r\n");
    }
    return ScriptedRtspServer::Answer(request);
}

struct Session {
    explicit Session(ScriptedRtspServer::Script script, const std::string& path = "/live") : server(std::move(script))
    {
        settings.host = "127.0.0.1";
        settings.rtspPort = server.Port();
        settings.rtpClientPort = 3556;
        settings.rtcpClientPort = 3557;
        settings.streamPath = path;
        settings.rtpSink = &user.rtp;
        settings.rtcpSink = &user.rtcp;
    }
    // Runs a session the client or the server ends by itself.
    std::vector<std::string> RunToEnd()
    {
        EXPECT_TRUE(client.Open(settings, &user));
        EXPECT_TRUE(user.WaitClosed());
        client.Close();
        return server.Requests();
    }
    std::string Url() const { return "rtsp://127.0.0.1:" + std::to_string(server.Port()) + settings.streamPath; }

    ScriptedRtspServer server;
    RTSPSessionSettings settings;
    RecordingOwner owner;
    TestUser user;
    CBaseRTSPClient client{&owner};
};

}  // namespace

TEST(RtspClient, SessionRequestsByteForByteWithKeepAliveAndTeardown)
{
    Session s([](const std::string& r) { return Camera(r, "abc123;timeout=1", "Content-Base: rtsp://cam/live/\r\n"); },
              "//live");
    ASSERT_TRUE(s.client.Open(s.settings, &s.user));
    // A 1 s session time-out gives a 500 ms interval: OPTIONS on every 2 s idle turn.
    ASSERT_TRUE(s.server.WaitForRequests(5));
    EXPECT_TRUE(s.client.GetLastResult());
    s.client.Close();
    EXPECT_TRUE(s.user.WaitClosed());
    ASSERT_TRUE(s.server.WaitForRequest("TEARDOWN"));
    const auto r = s.server.Requests();
    ASSERT_GE(r.size(), 6u);
    EXPECT_EQ(r[0], "DESCRIBE rtsp://127.0.0.1:" + std::to_string(s.server.Port()) +
                        "/live RTSP/1.0\r\nCSeq: 1\r\nUser-Agent: Velkora\r\nAccept: application/sdp\r\n\r\n");
    EXPECT_EQ(r[1], "SETUP rtsp://cam/live/track1 RTSP/1.0\r\nCSeq: 2\r\nUser-Agent: Velkora\r\n"
                    "Transport: RTP/AVP/UDP;unicast;client_port=3556-3557\r\n\r\n");
    EXPECT_EQ(r[2], "PLAY rtsp://cam/live/ RTSP/1.0\r\nCSeq: 3\r\nUser-Agent: Velkora\r\n"
                    "Session: abc123\r\nRange: npt=0.000-\r\n\r\n");
    for (std::size_t i : {3u, 4u})
        EXPECT_EQ(r[i], "OPTIONS rtsp://cam/live/ RTSP/1.0\r\nCSeq: " + std::to_string(i + 1) +
                            "\r\nUser-Agent: Velkora\r\nSession: abc123\r\n\r\n");
    EXPECT_EQ(r.back(), "TEARDOWN rtsp://cam/live/ RTSP/1.0\r\nCSeq: " + std::to_string(r.size()) +
                            "\r\nUser-Agent: Velkora\r\nSession: abc123\r\n\r\n");
    EXPECT_EQ(s.user.Media().pps, (std::vector<std::uint8_t>{0x68, 0xCE, 0x3C, 0x80}));
    EXPECT_EQ(s.user.ServerPorts(), 6970u << 16 | 6971u);
}

TEST(RtspClient, MediaUrlFromContentBaseAndControl)
{
    const struct {
        std::string contentBase, path, control, expected;
    } cases[] = {
        {"rtsp://cam/live/", "/x", "track1", "rtsp://cam/live/track1"},
        {"rtsp://cam/live", "/x", "/track1", "rtsp://cam/live/track1"},
        {"", "/stream1?profile=2", "rtsp://cam/live/track1", "rtsp://cam/live/track1"},
        {"", "/stream1?profile=2", "trackID=0", "/stream1?profile=2/trackID=0"},
    };
    for (const auto& c : cases) {
        // The SETUP is refused, which ends the session.
        Session s(
            [&](const std::string& r) {
                if (!r.starts_with("DESCRIBE"))
                    return ScriptedRtspServer::Answer(r, "404 Not Found");
                const std::string base = c.contentBase.empty() ? "" : "Content-Base: " + c.contentBase + "\r\n";
                return ScriptedRtspServer::Answer(r, "200 OK", base,
                                                  "m=video 0 RTP/AVP 96\r\na=control:" + c.control + "\r\n");
            },
            c.path);
        const auto r = s.RunToEnd();
        ASSERT_GE(r.size(), 2u);
        const std::string expected = c.expected.starts_with("/") ? s.Url() + "/trackID=0" : c.expected;
        EXPECT_TRUE(r[1].starts_with("SETUP " + expected + " RTSP/1.0\r\n")) << r[1];
        EXPECT_FALSE(s.client.GetLastResult());
    }
}

TEST(RtspClient, BasicChallengeIsAnsweredOnceAndKept)
{
    Session s([](const std::string& r) {
        if (r.find("Authorization: Basic YWRtaW46c2VjcmV0\r\n") != std::string::npos)
            return Camera(r);
        return ScriptedRtspServer::Answer(r, "401 Unauthorized", "WWW-Authenticate: Basic realm=\"cam\"\r\n");
    });
    s.settings.userName = "admin";
    s.settings.password = "secret";
    ASSERT_TRUE(s.client.Open(s.settings, &s.user));
    ASSERT_TRUE(s.server.WaitForRequests(4));
    s.client.Close();
    const auto r = s.server.Requests();
    EXPECT_EQ(r[0].find("Authorization"), std::string::npos);
    EXPECT_NE(r[1].find("CSeq: 2\r\nAuthorization: Basic YWRtaW46c2VjcmV0\r\nUser-Agent: Velkora\r\n"),
              std::string::npos);
    EXPECT_TRUE(r[2].starts_with("SETUP ") && r[2].find("CSeq: 3\r\nAuthorization: Basic") != std::string::npos);
}

TEST(RtspClient, ChallengeListsToTheSchemeSent)
{
    const std::string h = "WWW-Authenticate: ";
    const std::string digest = "Digest realm=\"cam\", nonce=\"n\"";
    const struct {
        std::string challenges;
        bool basicAllowed;
        std::string sent;  // the scheme of each DESCRIBE's Authorization ("-" none)
    } cases[] = {
        {h + "Basic realm=\"cam\"\r\n", true, "- Basic"},
        {h + digest + "\r\n", true, "- Digest"},
        {h + "Basic realm=\"cam\"\r\n" + h + digest + "\r\n", true, "- Digest"},  // the forms: the parser's tests
        {h + "Negotiate abc\r\n", true, "-"},
        {h + "Basic realm=\"cam\"\r\n", false, "-"},  // no plain-text password: said once, not sent
        {h + "Basic realm=\"cam\"\r\n" + h + digest + "\r\n", false, "- Digest"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.challenges + (c.basicAllowed ? "" : " (no Basic)"));
        Session s(
            [&](const std::string& r) { return ScriptedRtspServer::Answer(r, "401 Unauthorized", c.challenges); });
        s.settings.userName = "admin";
        s.settings.password = "secret";
        s.settings.basicAllowed = c.basicAllowed;
        EXPECT_TRUE(s.client.Open(s.settings, &s.user));
        EXPECT_TRUE(s.user.WaitClosed());
        EXPECT_TRUE(s.client.LoginRefused());
        s.client.Close();
        EXPECT_FALSE(s.client.LoginRefused());
        std::string sent;
        for (const std::string& request : s.server.Requests()) {
            const auto at = request.find("Authorization: ");
            sent += (sent.empty() ? "" : " ") + (at == std::string::npos
                                                     ? std::string("-")
                                                     : request.substr(at + 15, request.find(' ', at + 15) - at - 15));
        }
        EXPECT_EQ(c.sent, sent);
        if (sent.ends_with("Digest")) {
            EXPECT_NE(s.server.Requests().back().find(
                          MakeAuthorization(kAuthDigest, "admin", "secret", "cam", "n", "DESCRIBE", s.Url())),
                      std::string::npos);
        }
        const auto texts = s.owner.Texts();
        EXPECT_EQ(c.sent == "-" && !c.basicAllowed ? 1u : 0u,
                  std::count_if(texts.begin(), texts.end(), [](const std::string& t) {
                      return t.find("HARNOQUISTEL_PLAINTEXT_PASSWORD") != std::string::npos;
                  }));
    }
}

// Header blocks beyond 512 bytes are read to their end; beyond 64 KiB they fail.
TEST(RtspClient, LongHeaderBlocks)
{
    for (const std::size_t padding : {3000u, 70000u}) {
        Session s(
            [&](const std::string& r) { return Camera(r, "1", "X-Padding: " + std::string(padding, 'p') + "\r\n"); });
        ASSERT_TRUE(s.client.Open(s.settings, &s.user));
        const bool fits = padding < CBaseRTSPClient::kMaxHeaderSize;
        ASSERT_TRUE(fits ? s.server.WaitForRequests(3) : s.user.WaitClosed());
        s.client.Close();
        EXPECT_EQ(s.server.Requests().size() > 1, fits) << padding;
        EXPECT_EQ(s.user.Media().pps.size(), fits ? 4u : 0u);
    }
}

TEST(RtspClient, ValuesWithLineBreaksAreNeverSent)
{
    Session path([](const std::string& r) { return Camera(r); }, "/live\r\nX-Injected: 1");
    EXPECT_TRUE(path.RunToEnd().empty());

    // From the device: a content base with a bare line feed stops SETUP and TEARDOWN.
    Session base([](const std::string& r) { return Camera(r, "1", "Content-Base: rtsp://cam/\nX-Injected: 1\r\n"); });
    EXPECT_EQ(base.RunToEnd().size(), 1u);

    Session password([](const std::string& r) {
        return ScriptedRtspServer::Answer(r, "401 Unauthorized",
                                          "WWW-Authenticate: Digest realm=\"c\", nonce=\"n\"\r\n");
    });
    password.settings.userName = "admin";
    password.settings.password = "pw\r\nX-Injected: 1";
    EXPECT_EQ(password.RunToEnd().size(), 1u);
}

// (That Close wakes a session waiting on a silent server is the reliability tests' to prove.)
TEST(RtspClient, RefusedOrUnresolvableConnectionsFailOpen)
{
    Session s([](const std::string&) { return std::string(); });
    s.settings.rtspPort = ScriptedRtspServer([](const std::string&) { return std::string(); }).Port();  // now free
    for (const char* host : {"127.0.0.1", "", "no-such-host.invalid"}) {
        s.settings.host = host;
        EXPECT_FALSE(s.client.Open(s.settings, &s.user)) << host;
    }
}

namespace {

std::string Frame(uint8_t channel, const std::string& payload)
{
    return std::string{'$', static_cast<char>(channel), 0, static_cast<char>(payload.size())} + payload;
}

std::string InterleavedCamera(const std::string& request, const std::string& afterPlay)
{
    if (request.starts_with("SETUP")) {
        return ScriptedRtspServer::Answer(request, "200 OK",
                                          "Transport: RTP/AVP/TCP;unicast;interleaved=2-3\r\n"
                                          "Session: 7;timeout=1\r\n");
    }
    // Media come before and after each answer, and on a channel nobody set up.
    if (request.starts_with("PLAY"))
        return Frame(2, "a") + ScriptedRtspServer::Answer(request) + afterPlay;
    if (request.starts_with("OPTIONS"))
        return Frame(7, "stray") + ScriptedRtspServer::Answer(request) + Frame(2, "k");
    return Camera(request);
}

}  // namespace

// The host's queue refuses every read's media: the session goes on, and the drops are
// reported with their count.
TEST(RtspClient, InterleavedSessionSeparatesMediaFromAnswers)
{
    Session s([](const std::string& r) { return InterleavedCamera(r, Frame(3, "sr") + Frame(2, "b")); });
    s.settings.interleaved = true;
    s.user.rtp.refuse = true;
    ASSERT_TRUE(s.client.Open(s.settings, &s.user));
    ASSERT_TRUE(s.server.WaitForRequest("OPTIONS"));
    ASSERT_TRUE(s.server.WaitForRequests(5));
    EXPECT_TRUE(s.client.GetLastResult());  // the keep-alive answer was found among the frames
    EXPECT_TRUE(s.client.PlayAccepted());
    s.client.Close();
    const auto r = s.server.Requests();
    EXPECT_NE(r[1].find("\r\nTransport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n"), std::string::npos) << r[1];
    const auto media = s.user.Interleaved();
    ASSERT_GE(media.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(media.begin(), media.begin() + 4),
              (std::vector<std::string>{"rtp a", "rtcp sr", "rtp b", "rtp k"}));
    for (const auto& m : media)
        EXPECT_EQ(m.find("stray"), std::string::npos);
    // The session's last report counts at least the two that came with the PLAY answer; a
    // keep-alive answer read during TEARDOWN may bring more after it.
    const auto texts = s.owner.Texts();
    const auto report = std::find_if(texts.rbegin(), texts.rend(), [](const std::string& t) {
        return t.find("RTP packets from the RTSP connection dropped (") != std::string::npos;
    });
    ASSERT_NE(report, texts.rend());
    const size_t inSession = std::stoul(report->substr(report->rfind('(') + 1));
    EXPECT_GE(inSession, 2u) << *report;
    EXPECT_LE(inSession, media.size()) << *report;
}

TEST(RtspClient, InterleavedFrameLongerThanWhatArrivesCostsTheKeepAlive)
{
    // The announced 65535 bytes never come, so the next answer disappears inside them.
    Session s([](const std::string& r) { return InterleavedCamera(r, std::string("$\x02\xff\xff", 4) + "short"); });
    s.settings.interleaved = true;
    s.settings.receiveTimeoutMs = 500;
    ASSERT_TRUE(s.client.Open(s.settings, &s.user));
    ASSERT_TRUE(s.server.WaitForRequest("OPTIONS"));
    for (int i = 0; i < 50 && s.client.GetLastResult(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(s.client.GetLastResult());
    s.client.Close();
    EXPECT_EQ(s.user.Interleaved(), std::vector<std::string>{"rtp a"});
}
