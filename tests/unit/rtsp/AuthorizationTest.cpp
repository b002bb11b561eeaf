#include "rtsp/RtspAuthorization.h"
#include "rtsp/RtspMethod.h"

#include <gtest/gtest.h>

using namespace velkora;

TEST(RtspAuthorization, BasicHeaderAndItsSizeLimit)
{
    EXPECT_EQ(MakeAuthorization(kAuthBasic, "admin", "secret", "", "", "DESCRIBE", "rtsp://x/"),
              "Authorization: Basic YWRtaW46c2VjcmV0\r\n");
    // "user:password" of 72 bytes fits the 100-byte MIME-sized buffer, 73 does not.
    EXPECT_EQ(MakeAuthorization(kAuthBasic, std::string(36, 'u'), std::string(35, 'p'), "", "", "PLAY", "u").size(),
              std::string("Authorization: Basic \r\n").size() + 96);
    EXPECT_EQ(MakeAuthorization(kAuthBasic, std::string(36, 'u'), std::string(36, 'p'), "", "", "PLAY", "u"), "");
    EXPECT_EQ(MakeAuthorization(kAuthNone, "a", "b", "r", "n", "PLAY", "u"), "");
}

// Responses computed independently, for each method m:
//   HA1=$(printf 'Mufasa:testrealm@host.com:Circle Of Life' | openssl dgst -md5 -r | cut -c1-32)
//   HA2=$(printf "$m:rtsp://10.0.0.5:554/stream1" | openssl dgst -md5 -r | cut -c1-32)
//   printf "$HA1:dcd98b7102dd2f0e8b11d0f600bfb0c093:$HA2" | openssl dgst -md5 -r
TEST(RtspAuthorization, DigestMatchesIndependentComputation)
{
    const auto digest = [](const char* method, const char* realm = "testrealm@host.com", const char* user = "Mufasa") {
        return MakeAuthorization(kAuthDigest, user, "Circle Of Life", realm, "dcd98b7102dd2f0e8b11d0f600bfb0c093",
                                 method, "rtsp://10.0.0.5:554/stream1");
    };
    EXPECT_EQ(digest("DESCRIBE"), "Authorization: Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
                                  "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"rtsp://10.0.0.5:554/stream1\", "
                                  "response=\"804b0c509fe3ab8dcba0524a65514ba6\"\r\n");
    EXPECT_NE(digest("SETUP").find("response=\"12fe74815d2195c954ab869775bcde14\""), std::string::npos);
    EXPECT_NE(digest("PLAY").find("response=\"49e4237240ec06538ecc13c5dde33134\""), std::string::npos);
    EXPECT_EQ(digest("PLAY", "") + digest("PLAY", "r", ""), "");  // no realm or no user: no header
}
