#include "rtsp/CRTSPResponseParser.h"
#include "rtsp/CSDPResponseParser.h"
#include "rtsp/RtspMethod.h"

#include <gtest/gtest.h>

#include <sstream>

#include "FuzzCorpusReplay.h"

using namespace velkora;

namespace {

struct Case {
    std::string response;  // status line and headers; "\r\n" ends the block
    std::string expected;  // "field=value" items that must hold afterwards
};

// Feeds the cases in order to one parser (numbers carry over between responses).
void Check(const std::vector<Case>& cases, int kind = kRtspOptions)
{
    CRTSPResponseParser p;
    for (const Case& c : cases) {
        const bool ok = p.Parse(kind, c.response + "\r\n");
        std::ostringstream state;
        state << " ok=" << ok << " status=" << p.Status() << " cseq=" << p.CSeq() << " type=" << p.ContentType()
              << " base=" << p.ContentBase() << " session=" << p.Session() << " timeout=" << p.SessionTimeout()
              << " auth=" << p.AuthScheme() << " realm=" << p.Realm() << " nonce=" << p.Nonce()
              << " interleaved=" << int(p.InterleavedChannel()) << " server=" << p.ServerRtpPort() << "-"
              << p.ServerRtcpPort() << " ssrc=" << std::hex << p.ServerSsrc() << std::dec << " ";
        std::istringstream items(c.expected);
        for (std::string item; items >> item;)
            EXPECT_NE(state.str().find(" " + item + " "), std::string::npos) << c.response << "\nstate:" << state.str();
    }
}

const std::string k200 = "RTSP/1.0 200 OK\r\n", k401 = "RTSP/1.0 401 Unauthorized\r\n";

}  // namespace

TEST(RtspResponseParser, StatusLineAndScanfStyleHeaders)
{
    Check(
        {{k200 + "CSeq: 3\r\n", "ok=1 status=200 cseq=3"},
         {"RTSP/1.0 404 Not Found\r\nCSeq: 9\r\n", "ok=0 status=404 cseq=3"},  // fails before any header
         {"RTSP/1.0 204 No Content\r\n", "ok=0"},
         {"RTSP/1.0 OK\r\n", "ok=0"},
         {std::string(128, 'R') + " 200 OK\r\n", "ok=0"},
         {k200 + "CSEQ:   8\r\n", "ok=1 cseq=8"},
         {k200 + "CSeq: x\r\n", "ok=0"},
         {k200 + "content-type:  Application/SDP extra\r\n", "ok=1 type=application/sdp"},
         {k200 + "Content-Type: " + std::string(300, 'x') + "\r\n", "ok=1 type=" + std::string(255, 'x')},
         {k200 + "Date: x\r\nX: 1\r\nno colon\r\nPublic: OPTIONS\r\nRange: x\r\nRTP-Info: x\r\nServer: x\r\n", "ok=1"},
         // The scheme is found in lower case and cut from the original line.
         {k200 + "Content-Base: \t RTSP://Cam/Live/ \t\r\n", "ok=1 base=RTSP://Cam/Live/"},
         {k200 + "Content-Base: http://other/\r\n", "ok=1 base=RTSP://Cam/Live/"}});
}

TEST(RtspResponseParser, SessionTimeoutRules)
{
    Check({{k200 + "Session: 12345678;timeout=60\r\n", "ok=1 session=12345678 timeout=60"},
           {k200 + "Session: 12345678\r\n", "ok=1 timeout=60"},
           {k200 + "Session: 12345678;timeout=abc\r\n", "ok=1 timeout=30"},
           {k200 + "Session: 1; timeout = 9\r\n", "ok=1 session=1 timeout=9"},
           {k200 + "Session: 12345678;foo\r\n", "ok=0 session="}});
}

TEST(RtspResponseParser, ChallengesInSeveralForms)
{
    const std::string h = "WWW-Authenticate: ";
    Check({{k401 + h + "Basic\r\n", "ok=1 auth=1"},
           {k401 + h + "Digest realm=\"cam\", nonce=\"abc\"\r\n", "ok=1 auth=2 realm=cam nonce=abc"},
           {k401 + h + "Digest\trealm = r1 ,stale=FALSE, nonce=n1\r\n", "ok=1 realm=r1 nonce=n1"},
           {k401 + h + "Digest realm=\"cam\"\r\n", "ok=0"},
           // The strongest challenge decides, whatever the order, case or header; unknown
           // schemes change nothing.
           {k401 + h + "Basic realm=\"b\"\r\n" + h + "Digest realm=\"d\", nonce=\"n\"\r\n" + h + "Negotiate x\r\n",
            "ok=1 auth=2 realm=d nonce=n"},
           {k401 + h + "Digest realm=\"d\", nonce=\"n\"\r\n" + h + "Basic realm=\"b\"\r\n",
            "ok=1 auth=2 realm=d nonce=n"},
           {k401 + "www-authenticate: digest realm=\"d\", nonce=\"n\"\r\n" + h + "BASIC realm=\"b\"\r\n",
            "ok=1 auth=2 realm=d nonce=n"},
           {k401 + h + "Basic realm=\"b, Digest\", Digest realm=\"d\", nonce=\"n\"\r\n", "ok=1 auth=2 realm=d nonce=n"},
           {k401 + h + "Digest realm=\"d\", nonce=\"n\", Basic realm=\"b\"\r\n", "ok=1 auth=2 realm=d nonce=n"}});
}

TEST(RtspResponseParser, DescribeBodyAndSetupTransport)
{
    const std::string sdp = "m=video 0 RTP/AVP 96\r\na=control:track1\r\n";
    CRTSPResponseParser p;
    ASSERT_TRUE(p.Parse(kRtspDescribe, k200 + "Content-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" + sdp +
                                           "a=fmtp:96 beyond the length"));
    EXPECT_EQ(p.Media().video.control, "track1");
    EXPECT_FALSE(p.Parse(kRtspDescribe, k200 + "Content-Length: 10\r\n\r\n"));
    EXPECT_FALSE(p.Parse(kRtspDescribe, k200 + "Content-Length: 10\r\n\r\na=fmtp:96 x"));
    p.Reset();  // texts and media go, numbers stay
    EXPECT_EQ(p.Media().video.control + p.Version(), "");
    EXPECT_EQ(p.Status(), 200u);
    Check({{k200 + "Transport: RTP/AVP/TCP;unicast;interleaved=2-3\r\n", "ok=1 interleaved=2"},
           {k200 + "Transport: RTP/AVP;unicast;client_port=3556-3557\r\n", "ok=1 interleaved=0 server=0-0"},
           {k200 + "Transport: RTP/AVP;unicast;client_port=3556-3557;Server_Port=6970-6971\r\n", "server=6970-6971"},
           {k200 + "Transport: RTP/AVP;unicast;server_port=5000;ssrc=1234\r\n", "server=5000-0 ssrc=1234"},
           {k200 + "Transport: RTP/AVP;unicast;server_port=5000-5001;ssrc=DEADBEEF\r\n", "ssrc=deadbeef"},
           {k200 + "Transport: RTP/AVP;unicast;ssrc=123456789\r\n", "ssrc=0"},
           {k200 + "Transport: RTP/AVP;unicast;ssrc=12x4\r\n", "ssrc=0"},
           {k200 + "Transport: RTP/AVP;unicast;server_port=65536-x\r\n", "ok=1 server=0-0"},
           {k200 + "Transport: RTP/AVP;unicast;server_port=-7\r\n", "ok=1 server=0-7"},
           {k200 + "Transport: RTP/AVP;unicast\r\n", "server=0-0"}},
          kRtspSetup);
}

extern "C" int ReplayRtspResponse(const uint8_t*, size_t);
extern "C" int ReplaySdp(const uint8_t*, size_t);

TEST(FuzzCorpusReplay, RtspResponsesAndSdpBodies)
{
    ReplayFuzzCorpora({{"fuzz_rtsp_response", ReplayRtspResponse}, {"fuzz_sdp", ReplaySdp}});
}
