#include "sim/RtspAuth.h"
#include "sim/RtspRequest.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

TEST(RtspRequestParser, ReadsOneRequestAtATime)
{
    const std::string two = "OPTIONS rtsp://cam/media/P RTSP/1.0\r\nCSeq: 1\r\n\r\n"
                            "ANNOUNCE rtsp://cam/ RTSP/1.0\r\ncseq:2\r\nContent-Length: 3\r\n\r\nabc";
    RtspRequest r;
    std::size_t used = 0;
    ASSERT_EQ(ParseRtspRequest(two, r, used), ParseStatus::Complete);
    EXPECT_EQ(r.method + " " + r.url + " " + r.Header("cseq"), "OPTIONS rtsp://cam/media/P 1");
    ASSERT_EQ(ParseRtspRequest(std::string_view(two).substr(used), r, used), ParseStatus::Complete);
    EXPECT_EQ(r.Header("CSeq") + r.body, "2abc");
}

TEST(RtspRequestParser, WaitsForMoreAndRefusesGarbage)
{
    RtspRequest r;
    std::size_t used = 0;
    EXPECT_EQ(ParseRtspRequest("DESCRIBE rtsp://cam/ RTSP/1.0\r\nCSeq: 1\r\n", r, used), ParseStatus::Incomplete);
    EXPECT_EQ(ParseRtspRequest("SET_PARAMETER x RTSP/1.0\r\nContent-Length: 10\r\n\r\nabc", r, used),
              ParseStatus::Incomplete);
    // The last: a header block that never ends is refused once it passes the bound.
    const std::string head = "OPTIONS * RTSP/1.0\r\n";
    for (const std::string& bad :
         std::vector<std::string>{"GET / HTTP/1.1\r\n\r\n", "DESCRIBE\r\n\r\n", head + "no colon here\r\n\r\n",
                                  head + "Content-Length: -5\r\n\r\n", head + "Content-Length: 9999999\r\n\r\n",
                                  head + "X: " + std::string(kMaxRtspHeaderBytes, 'a')})
        EXPECT_EQ(ParseRtspRequest(bad, r, used), ParseStatus::Malformed) << bad.substr(0, 40);
}

TEST(RtspRequestParser, UrlPathDropsSchemeHostAndQuery)
{
    EXPECT_EQ(UrlPath("rtsp://10.0.0.5:8554/media/P1/trackID=1?x=1"), "/media/P1/trackID=1");
    EXPECT_EQ(UrlPath("rtsp://cam"), "/");
}

// Digest answers need the random nonce: they are checked over the wire, against sums made
// with OpenSSL (integration test RtspServer).
TEST(RtspAuthenticator, BasicByModeAndDigestOfferedLast)
{
    const std::string basic = "Basic YWRtaW46czNjcmV0";  // admin:s3cret
    RtspAuthenticator any("admin", "s3cret", RtspAuthMode::Any), digestOnly("admin", "s3cret", RtspAuthMode::Digest);
    EXPECT_TRUE(any.Check("DESCRIBE", basic));
    EXPECT_FALSE(any.Check("DESCRIBE", "Basic YWRtaW46czNjcmVU"));
    EXPECT_FALSE(digestOnly.Check("DESCRIBE", basic));
    EXPECT_FALSE(any.Check("DESCRIBE", "Digest username=\"admin\", realm=\"harnoquistel\", nonce=\"" + any.Nonce() +
                                           "\", uri=\"rtsp://cam/\", response=\"0123456789abcdef0123456789abcdef\""));
    ASSERT_EQ(digestOnly.Challenges().size(), 1u);
    ASSERT_EQ(any.Challenges().size(), 2u);
    EXPECT_EQ(any.Challenges().back().rfind("Digest ", 0), 0u) << "Digest is offered last";
}

}  // namespace
}  // namespace sim
