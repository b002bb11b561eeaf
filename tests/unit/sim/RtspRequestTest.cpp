#include "sim/RtspAuth.h"
#include "sim/RtspRequest.h"

#include "foundation/Base64.h"
#include "foundation/Md5.h"

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
    EXPECT_EQ(r.method, "OPTIONS");
    EXPECT_EQ(r.url, "rtsp://cam/media/P");
    EXPECT_EQ(r.Header("cseq"), "1");
    ASSERT_EQ(ParseRtspRequest(std::string_view(two).substr(used), r, used), ParseStatus::Complete);
    EXPECT_EQ(r.Header("CSeq"), "2");
    EXPECT_EQ(r.body, "abc");
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
    EXPECT_EQ(UrlPath("/media/P1"), "/media/P1");
}

TEST(RtspAuthenticator, AcceptsBasicAndBothDigestForms)
{
    RtspAuthenticator auth("admin", "s3cret", RtspAuthMode::Any);
    EXPECT_TRUE(auth.Check("DESCRIBE", "Basic " + velkora::Base64Encode("admin:s3cret")));

    const std::string uri = "rtsp://127.0.0.1:554/media/P/";
    const std::string ha1 = velkora::Md5Hex("admin:harnoquistel:s3cret");
    const std::string ha2 = velkora::Md5Hex("SETUP:" + uri);
    const std::string rfc2069 = velkora::Md5Hex(ha1 + ":" + auth.Nonce() + ":" + ha2);
    auto digest = [&](const std::string& response, const std::string& extra = "") {
        return "Digest username=\"admin\", realm=\"harnoquistel\", nonce=\"" + auth.Nonce() + "\", uri=\"" + uri +
               "\", response=\"" + response + "\"" + extra;
    };
    EXPECT_TRUE(auth.Check("SETUP", digest(rfc2069)));
    EXPECT_FALSE(auth.Check("PLAY", digest(rfc2069))) << "the method is part of the digest";
    const std::string rfc2617 = velkora::Md5Hex(ha1 + ":" + auth.Nonce() + ":00000001:c0ffee:auth:" + ha2);
    EXPECT_TRUE(auth.Check("SETUP", digest(rfc2617, ", qop=auth, nc=00000001, cnonce=\"c0ffee\"")));

    RtspAuthenticator digestOnly("admin", "s3cret", RtspAuthMode::Digest);
    EXPECT_FALSE(digestOnly.Check("DESCRIBE", "Basic " + velkora::Base64Encode("admin:s3cret")));
    ASSERT_EQ(digestOnly.Challenges().size(), 1u);
    ASSERT_EQ(auth.Challenges().size(), 2u);
    EXPECT_EQ(auth.Challenges().back().rfind("Digest ", 0), 0u) << "Digest is offered last";
}

}  // namespace
}  // namespace sim
