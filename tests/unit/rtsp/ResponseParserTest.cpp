#include "rtsp/CRTSPResponseParser.h"
#include "rtsp/RtspMethod.h"

#include <gtest/gtest.h>

#include <string>

using namespace velkora;

namespace {

std::string Response(const std::string& statusLine, const std::string& headers, const std::string& body = "") {
    return statusLine + "\r\n" + headers + "\r\n" + body;
}

}  // namespace

TEST(RtspResponseParser, StatusLineRules) {
    CRTSPResponseParser p;
    EXPECT_TRUE(p.Parse(kRtspOptions, Response("RTSP/1.0 200 OK", "CSeq: 3\r\n")));
    EXPECT_EQ(p.Version(), "RTSP/1.0");
    EXPECT_EQ(p.Status(), 200u);
    EXPECT_EQ(p.CSeq(), 3u);
    EXPECT_TRUE(p.Parse(kRtspOptions, Response("RTSP/1.0 401 Unauthorized", "")));
    EXPECT_EQ(p.Status(), 401u);
    // Any other status fails before a header is read.
    EXPECT_FALSE(p.Parse(kRtspOptions, Response("RTSP/1.0 404 Not Found", "CSeq: 9\r\n")));
    EXPECT_EQ(p.CSeq(), 3u);
    EXPECT_FALSE(p.Parse(kRtspOptions, Response("RTSP/1.0 204 No Content", "")));
    EXPECT_FALSE(p.Parse(kRtspOptions, Response("RTSP/1.0", "CSeq: 4\r\n")));
    EXPECT_FALSE(p.Parse(kRtspOptions, Response("RTSP/1.0 OK", "")));
    EXPECT_FALSE(p.Parse(kRtspOptions, ""));
    EXPECT_FALSE(p.Parse(kRtspOptions, Response(std::string(128, 'R') + " 200 OK", "")));
    EXPECT_TRUE(p.Parse(kRtspOptions, Response(std::string(127, 'R') + " 200 OK", "")));
}

TEST(RtspResponseParser, NumberHeadersAreReadLikeScanf) {
    CRTSPResponseParser p;
    EXPECT_TRUE(p.Parse(kRtspOptions, Response("RTSP/1.0 200 OK", "CSeq:7\r\n")));
    EXPECT_EQ(p.CSeq(), 7u);
    EXPECT_TRUE(p.Parse(kRtspOptions, Response("RTSP/1.0 200 OK", "CSEQ:   8\r\n")));
    EXPECT_EQ(p.CSeq(), 8u);
    EXPECT_FALSE(p.Parse(kRtspOptions, Response("RTSP/1.0 200 OK", "CSeq : 9\r\n")));
    EXPECT_FALSE(p.Parse(kRtspOptions, Response("RTSP/1.0 200 OK", "CSeq: x\r\n")));
    EXPECT_TRUE(p.Parse(kRtspOptions, Response("RTSP/1.0 200 OK", "content-type:  Application/SDP extra\r\n")));
    EXPECT_EQ(p.ContentType(), "application/sdp");
    EXPECT_TRUE(p.Parse(kRtspOptions, Response("RTSP/1.0 200 OK", "Content-Type: " + std::string(300, 'x') + "\r\n")));
    EXPECT_EQ(p.ContentType().size(), CRTSPResponseParser::kMaxContentTypeLength);
    // Unknown and ignored headers, short names and lines without ':' pass.
    EXPECT_TRUE(p.Parse(kRtspOptions, Response("RTSP/1.0 200 OK",
                                               "Date: whenever\r\nX: 1\r\nno colon\r\nPublic: OPTIONS\r\n"
                                               "Range: junk\r\nRTP-Info: junk\r\nServer: x\r\n")));
}

TEST(RtspResponseParser, ContentBaseKeepsCaseAndNeedsRtspScheme) {
    CRTSPResponseParser p;
    EXPECT_TRUE(p.Parse(kRtspOptions, Response("RTSP/1.0 200 OK", "Content-Base: \t RTSP://Cam/Live/ \t\r\n")));
    EXPECT_EQ(p.ContentBase(), "RTSP://Cam/Live/");  // found in lower case, cut from the original
    EXPECT_TRUE(p.Parse(kRtspOptions, Response("RTSP/1.0 200 OK", "Content-Base: rtsp://Cam/Live/  \r\n")));
    EXPECT_EQ(p.ContentBase(), "rtsp://Cam/Live/");
    EXPECT_TRUE(p.Parse(kRtspOptions, Response("RTSP/1.0 200 OK", "Content-Base: http://other/\r\n")));
    EXPECT_EQ(p.ContentBase(), "rtsp://Cam/Live/");
    EXPECT_FALSE(p.Parse(kRtspOptions, Response("RTSP/1.0 200 OK", "Content-Base : rtsp://x/\r\n")));
    EXPECT_EQ(p.ContentBase(), "");
}

TEST(RtspResponseParser, SessionTimeoutRules) {
    CRTSPResponseParser p;
    EXPECT_TRUE(p.Parse(kRtspSetup, Response("RTSP/1.0 200 OK", "Session: 12345678;timeout=60\r\n")));
    EXPECT_EQ(p.Session(), "12345678");
    EXPECT_EQ(p.SessionTimeout(), 60u);
    EXPECT_TRUE(p.Parse(kRtspPlay, Response("RTSP/1.0 200 OK", "Session: 12345678\r\n")));
    EXPECT_EQ(p.SessionTimeout(), 60u);
    EXPECT_TRUE(p.Parse(kRtspPlay, Response("RTSP/1.0 200 OK", "Session: 12345678;timeout=abc\r\n")));
    EXPECT_EQ(p.SessionTimeout(), 30u);
    EXPECT_TRUE(p.Parse(kRtspPlay, Response("RTSP/1.0 200 OK", "Session: 12345678; timeout = 0\r\n")));
    EXPECT_EQ(p.SessionTimeout(), 30u);
    EXPECT_FALSE(p.Parse(kRtspPlay, Response("RTSP/1.0 200 OK", "Session: 12345678;foo\r\n")));
    EXPECT_EQ(p.Session(), "");
    EXPECT_FALSE(p.Parse(kRtspPlay, Response("RTSP/1.0 200 OK", "Session:12345678\r\n")));
    EXPECT_TRUE(p.Parse(kRtspPlay, Response("RTSP/1.0 200 OK", "Session:  abc\r\n")));
    EXPECT_EQ(p.Session(), " abc");
}

TEST(RtspResponseParser, ChallengesInSeveralForms) {
    CRTSPResponseParser p;
    EXPECT_TRUE(p.Parse(kRtspDescribe, Response("RTSP/1.0 401 Unauthorized",
                                                "WWW-Authenticate: Digest realm=\"cam\", nonce=\"abc\"\r\n")));
    EXPECT_EQ(p.AuthScheme(), kAuthDigest);
    EXPECT_EQ(p.Realm(), "cam");
    EXPECT_EQ(p.Nonce(), "abc");
    // Unquoted, tab-separated, extra parameters.
    EXPECT_TRUE(p.Parse(kRtspDescribe, Response("RTSP/1.0 401 Unauthorized",
                                                "WWW-Authenticate: Digest\trealm = r1 ,stale=FALSE, nonce=n1\r\n")));
    EXPECT_EQ(p.Realm(), "r1");
    EXPECT_EQ(p.Nonce(), "n1");
    EXPECT_FALSE(p.Parse(kRtspDescribe, Response("RTSP/1.0 401 Unauthorized",
                                                 "WWW-Authenticate: Digest realm=\"cam\"\r\n")));
    EXPECT_FALSE(p.Parse(kRtspDescribe, Response("RTSP/1.0 401 Unauthorized", "WWW-Authenticate:Basic\r\n")));

    CRTSPResponseParser basic;
    EXPECT_TRUE(basic.Parse(kRtspDescribe, Response("RTSP/1.0 401 Unauthorized", "WWW-Authenticate: Basic\r\n")));
    EXPECT_EQ(basic.AuthScheme(), kAuthBasic);
    // A lower-case scheme word is not recognised and changes nothing.
    CRTSPResponseParser lower;
    EXPECT_TRUE(lower.Parse(kRtspDescribe, Response("RTSP/1.0 401 Unauthorized",
                                                    "WWW-Authenticate: digest realm=\"a\", nonce=\"b\"\r\n")));
    EXPECT_EQ(lower.AuthScheme(), kAuthNone);
    // Of several challenges the last recognised one decides.
    CRTSPResponseParser several;
    EXPECT_TRUE(several.Parse(kRtspDescribe,
                              Response("RTSP/1.0 401 Unauthorized",
                                       "WWW-Authenticate: Basic realm=\"b\"\r\n"
                                       "WWW-Authenticate: Digest realm=\"d\", nonce=\"n\"\r\n"
                                       "WWW-Authenticate: Negotiate abcdef\r\n")));
    EXPECT_EQ(several.AuthScheme(), kAuthDigest);
    EXPECT_EQ(several.Realm(), "d");
    EXPECT_EQ(several.Nonce(), "n");
}

TEST(RtspResponseParser, DescribeBodyAndSetupTransport) {
    const std::string sdp = "v=0\r\nm=video 0 RTP/AVP 96\r\na=control:track1\r\n";
    CRTSPResponseParser p;
    ASSERT_TRUE(p.Parse(kRtspDescribe, Response("RTSP/1.0 200 OK",
                                                "Content-Type: application/sdp\r\nContent-Length: " +
                                                    std::to_string(sdp.size()) + "\r\n",
                                                sdp + "a=fmtp:96 trailing junk beyond the length")));
    EXPECT_EQ(p.ContentLength(), sdp.size());
    EXPECT_EQ(p.Media().video.control, "track1");
    // A body announced but missing fails; a failing SDP fails the response.
    EXPECT_FALSE(p.Parse(kRtspDescribe, Response("RTSP/1.0 200 OK", "Content-Length: 10\r\n")));
    EXPECT_FALSE(p.Parse(kRtspDescribe, Response("RTSP/1.0 200 OK", "Content-Length: 10\r\n", "a=fmtp:96 x")));
    // Reset empties the texts and the media, but keeps numbers.
    p.Reset();
    EXPECT_EQ(p.Media().video.control, "");
    EXPECT_EQ(p.ContentType(), "");
    EXPECT_EQ(p.Status(), 200u);

    EXPECT_TRUE(p.Parse(kRtspSetup, Response("RTSP/1.0 200 OK",
                                             "Transport: RTP/AVP/TCP;unicast;interleaved=2-3\r\nSession: 1\r\n")));
    EXPECT_EQ(p.InterleavedChannel(), 2);
    EXPECT_TRUE(p.Parse(kRtspSetup, Response("RTSP/1.0 200 OK", "Transport: RTP/AVP;unicast;client_port=3556-3557\r\n")));
    EXPECT_EQ(p.InterleavedChannel(), 0);
}
