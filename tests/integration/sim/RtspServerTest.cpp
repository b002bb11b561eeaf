#include "SimClients.h"

#include <algorithm>
#include <cerrno>
#include <set>

namespace simtest {
namespace {

const std::string kBasic = "Authorization: Basic YWRtaW46YWRtaW4=\r\n";  // admin:admin

std::uint16_t Sequence(const std::vector<std::uint8_t>& d)
{
    return static_cast<std::uint16_t>((d[2] << 8) | d[3]);
}
bool Marker(const std::vector<std::uint8_t>& d)
{
    return d[1] & 0x80;
}

// Whether an RTCP compound datagram carries a packet of this type.
bool HasRtcp(const std::vector<std::uint8_t>& d, std::uint8_t type)
{
    for (std::size_t off = 0; off + 4 <= d.size(); off += 4 + 4 * ((d[off + 2] << 8) | d[off + 3]))
        if (d[off + 1] == type)
            return true;
    return false;
}

bool AwaitBye(UdpSocket& rtcp)
{
    for (auto d = rtcp.Receive(); !d.empty(); d = rtcp.Receive())
        if (HasRtcp(d, 203))
            return true;
    return false;
}

// A described, set-up session on the simulator; PLAY is left to the test.
struct Session {
    explicit Session(sim::Simulator& sim) : rtsp(sim.Ports().rtsp)
    {
        const std::string d = rtsp.Request("DESCRIBE", sim.StreamUrl("Profile_1_2"), kBasic);
        EXPECT_EQ(StatusOf(d), 200) << d;
        base = HeaderValue(d, "Content-Base");
        const std::string s =
            rtsp.Request("SETUP", base + "trackID=1",
                         kBasic + "Transport: RTP/AVP/UDP;unicast;client_port=" + std::to_string(rtp.Port()) + "-" +
                             std::to_string(rtcp.Port()) + "\r\n");
        EXPECT_EQ(StatusOf(s), 200) << s;
        session = HeaderValue(s, "Session").substr(0, HeaderValue(s, "Session").find(';'));
    }
    std::string Send(const char* method) { return rtsp.Request(method, base, kBasic + "Session: " + session + "\r\n"); }

    TcpConnection rtsp;
    UdpSocket rtp, rtcp;
    std::string base, session;
};

TEST(RtspServer, AuthenticatesWithBasicOrDigestAndRefusesWrongPasswords)
{
    RunningSim s;
    TcpConnection c(s.sim.Ports().rtsp);
    const std::string url = s.sim.StreamUrl("Profile_1_1");
    EXPECT_EQ(StatusOf(c.Request("OPTIONS", url)), 200) << "OPTIONS needs no credentials";
    const std::string challenge = c.Request("DESCRIBE", url);
    ASSERT_EQ(StatusOf(challenge), 401);
    EXPECT_NE(challenge.find("WWW-Authenticate: Basic realm=\"harnoquistel\"\r\n"), std::string::npos);
    const auto n = challenge.find("nonce=\"") + 7;
    const std::string nonce = challenge.substr(n, challenge.find('"', n) - n);

    EXPECT_EQ(StatusOf(c.Request("DESCRIBE", url, kBasic)), 200);
    EXPECT_EQ(StatusOf(c.Request("DESCRIBE", url, "Authorization: Basic YWRtaW46d3Jvbmc=\r\n")), 401);  // admin:wrong
    auto digest = [&](const std::string& password) {
        const std::string response =
            Md5Hex(Md5Hex("admin:harnoquistel:" + password) + ":" + nonce + ":" + Md5Hex("DESCRIBE:" + url));
        return "Authorization: Digest username=\"admin\", realm=\"harnoquistel\", nonce=\"" + nonce + "\", uri=\"" +
               url + "\", response=\"" + response + "\"\r\n";
    };
    const std::string described = c.Request("DESCRIBE", url, digest("admin"));
    ASSERT_EQ(StatusOf(described), 200);
    EXPECT_EQ(StatusOf(c.Request("DESCRIBE", url, digest("wrong"))), 401);
    EXPECT_EQ(StatusOf(c.Request("SETUP", url + "/trackID=1", digest("admin"))), 401) << "the method is in the sum";
    // The RFC 2617 form, which some clients send unasked.
    const std::string ha1 = Md5Hex("admin:harnoquistel:admin"), ha2 = Md5Hex("DESCRIBE:" + url);
    EXPECT_EQ(StatusOf(c.Request("DESCRIBE", url,
                                 "Authorization: Digest username=\"admin\", realm=\"harnoquistel\", nonce=\"" + nonce +
                                     "\", uri=\"" + url + "\", qop=auth, nc=00000001, cnonce=\"c0ffee\", response=\"" +
                                     Md5Hex(ha1 + ":" + nonce + ":00000001:c0ffee:auth:" + ha2) + "\"\r\n")),
              200);
    for (const char* line : {"m=video 0 RTP/AVP 96\r\n", "a=rtpmap:96 H264/90000\r\n", "sprop-parameter-sets=Z",
                             "a=control:trackID=1\r\n", "Content-Base: "})
        EXPECT_NE(described.find(line), std::string::npos) << line;
}

TEST(RtspServer, StreamsRtpWithReportsAndSaysByeOnTeardown)
{
    sim::SimulatorOptions o = FreePortOptions();
    o.pace = 8;  // faster than real time; timestamps must not change with it
    RunningSim s(o);
    Session session(s.sim);
    const std::string play = session.Send("PLAY");
    ASSERT_EQ(StatusOf(play), 200) << play;
    EXPECT_NE(HeaderValue(play, "RTP-Info").find(";seq="), std::string::npos);

    // Sequence numbers and payloads show where the library receives the clip frame for frame.
    std::vector<std::uint32_t> frameStamps;
    while (frameStamps.size() < 30) {
        const auto d = session.rtp.Receive();
        ASSERT_GE(d.size(), 13u) << "RTP stopped after " << frameStamps.size() << " frames";
        if (Marker(d))
            frameStamps.push_back((d[4] << 24) | (d[5] << 16) | (d[6] << 8) | d[7]);
    }
    for (std::size_t i = 1; i < frameStamps.size(); ++i)
        EXPECT_EQ(frameStamps[i] - frameStamps[i - 1], 3600u) << "90 kHz at 25 fps";

    sockaddr_in from{};
    const auto sr = session.rtcp.Receive(3000, &from);
    ASSERT_TRUE(HasRtcp(sr, 200)) << "a sender report comes from the RTCP port";
    const std::uint8_t rr[] = {0x80, 201, 0, 1, 1, 2, 3, 4};
    sendto(session.rtcp.Fd(), rr, sizeof rr, 0, reinterpret_cast<sockaddr*>(&from), sizeof from);
    // The sender reads reports before each frame: two more frames and it has seen ours.
    for (int frames = 0; frames < 2;) {
        const auto d = session.rtp.Receive();
        ASSERT_FALSE(d.empty());
        frames += Marker(d);
    }
    EXPECT_GE(s.sim.GetRtspStats().receiverReports, 1u);

    EXPECT_EQ(StatusOf(session.Send("TEARDOWN")), 200);
    EXPECT_TRUE(AwaitBye(session.rtcp));
    EXPECT_EQ(s.sim.GetRtspStats().activeSessions, 0u);
}

TEST(RtspServer, RefusesWhatItCannotServe)
{
    RunningSim s;
    TcpConnection c(s.sim.Ports().rtsp);
    EXPECT_EQ(StatusOf(c.Request("DESCRIBE", s.sim.StreamUrl("NoSuchProfile"), kBasic)), 404);
    EXPECT_EQ(StatusOf(c.Request("SETUP", s.sim.StreamUrl("Profile_1_1") + "/trackID=1",
                                 kBasic + "Transport: RTP/AVP;multicast\r\n")),
              461);
    EXPECT_EQ(StatusOf(c.Request("PLAY", s.sim.StreamUrl("Profile_1_1"), kBasic + "Session: 1234\r\n")), 454);
    EXPECT_EQ(StatusOf(c.Request("PAUSE", s.sim.StreamUrl("Profile_1_1"), kBasic)), 501);
    // A CSeq smuggling a header line is refused rather than echoed.
    c.Send("OPTIONS * RTSP/1.0\r\nCSeq: 1\nInjected: yes\r\n\r\n");
    const std::string r = c.Receive();
    EXPECT_EQ(StatusOf(r), 400);
    EXPECT_EQ(r.find("Injected"), std::string::npos);
    c.Send("NOT A REQUEST\r\n\r\n");
    EXPECT_EQ(StatusOf(c.Receive()), 400);
    EXPECT_TRUE(c.Receive().empty() && c.Closed()) << "a malformed request closes the connection";
}

// The library's tests show that it copes with these; this shows that they happen (BYE and
// silence show there as restarts).
TEST(RtspServer, RtpFaultsDisturbTheStream)
{
    sim::SimulatorOptions o = FreePortOptions();
    o.pace = 4;
    RunningSim s(o);
    auto collect = [&](const char* spec, std::size_t count) {
        s.sim.SetFaults({*sim::ParseFault(spec)});
        Session session(s.sim);
        EXPECT_EQ(StatusOf(session.Send("PLAY")), 200);
        std::vector<std::uint16_t> sequences;
        while (sequences.size() < count) {
            const auto d = session.rtp.Receive(2000);
            if (d.empty())
                break;
            sequences.push_back(Sequence(d));
        }
        return sequences;
    };
    auto duplicated = collect("duplicate=1", 20);
    ASSERT_EQ(duplicated.size(), 20u);
    for (std::size_t i = 0; i < 20; i += 2)
        EXPECT_EQ(duplicated[i], duplicated[i + 1]);

    auto reordered = collect("reorder=0.5", 60);
    ASSERT_EQ(reordered.size(), 60u);
    EXPECT_FALSE(std::is_sorted(reordered.begin(), reordered.end(),
                                [](std::uint16_t a, std::uint16_t b) { return static_cast<std::int16_t>(a - b) < 0; }));
    EXPECT_EQ(std::set<std::uint16_t>(reordered.begin(), reordered.end()).size(), reordered.size())
        << "reordering repeats nothing";

    const auto before = s.sim.GetRtspStats().rtpDropped;
    auto lossy = collect("loss=0.3", 60);
    ASSERT_EQ(lossy.size(), 60u);
    EXPECT_NE(static_cast<std::uint16_t>(lossy.back() - lossy.front()), 59u) << "some sequence numbers are missing";
    EXPECT_GT(s.sim.GetRtspStats().rtpDropped, before);
}

TEST(RtspServer, ConnectionFaults)
{
    sim::SimulatorOptions o = FreePortOptions();
    o.faults = {*sim::ParseFault("refuse-rtsp")};
    RunningSim refusing(o);
    EXPECT_EQ(TcpConnection(refusing.sim.Ports().rtsp).ConnectError(), ECONNREFUSED);
    refusing.sim.SetFaults({});  // listens again at once
    EXPECT_EQ(TcpConnection(refusing.sim.Ports().rtsp).ConnectError(), 0);

    RunningSim s;
    s.sim.SetFaults({*sim::ParseFault("close-midway=rtsp*1")});
    TcpConnection half(s.sim.Ports().rtsp);
    const std::string cut = half.Request("OPTIONS", "*");
    EXPECT_TRUE(half.Closed());
    EXPECT_EQ(cut.find("\r\n\r\n"), std::string::npos) << cut;
    EXPECT_EQ(StatusOf(TcpConnection(s.sim.Ports().rtsp).Request("OPTIONS", "*")), 200);
}

// The HTTP services cut an answer short, or hold it until the simulator stops.
TEST(HttpServices, CloseMidwayAndSlowFaults)
{
    RunningSim s;
    const std::string
        ptz = "GET /cgi-bin/run?ptz.cgi%20zoom%200 HTTP/1.1\r\nHost: cam\r\n"
              "Authorization: Basic YWRtaW46YWRtaW4=\r\n\r\n",
        body = "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body>"
               "<GetSystemDateAndTime xmlns=\"http://www.onvif.org/ver10/device/wsdl\"/></s:Body></s:Envelope>",
        onvif = "POST /onvif/device_service HTTP/1.1\r\nHost: cam\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\n\r\n" + body;
    for (const auto& [service, port, request] :
         {std::tuple{"ptz", s.sim.Ports().ptz, ptz}, std::tuple{"onvif", s.sim.Ports().http, onvif}}) {
        SCOPED_TRACE(service);
        s.sim.SetFaults({*sim::ParseFault(std::string("close-midway=") + service + "*1")});
        TcpConnection cut(port);
        cut.Send(request);
        const std::string half = cut.Receive();
        EXPECT_EQ(StatusOf(half), 200);
        EXPECT_TRUE(cut.Closed());
        EXPECT_LT(half.size() - half.find("\r\n\r\n") - 4, std::stoul(HeaderValue(half, "Content-Length")));
        TcpConnection whole(port);
        whole.Send(request);
        EXPECT_EQ(StatusOf(whole.Receive()), 200) << "the count ran out";

        s.sim.SetFaults({*sim::ParseFault(std::string("slow=") + service + ":10000")});
        TcpConnection slow(port);
        slow.Send(request);
        EXPECT_EQ(slow.Receive(300), "");
    }
    s.sim.Stop();  // wakes the delayed handlers instead of waiting for them
}

}  // namespace
}  // namespace simtest
