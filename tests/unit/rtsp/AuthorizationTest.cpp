#include "rtsp/RtspAuthorization.h"
#include "rtsp/RtspMethod.h"

#include <gtest/gtest.h>

#include <string>

using namespace velkora;

TEST(RtspAuthorization, BasicHeaderAndItsSizeLimit) {
    EXPECT_EQ(MakeAuthorization(kAuthBasic, "admin", "secret", "", "", "DESCRIBE", "rtsp://x/"),
              "Authorization: Basic YWRtaW46c2VjcmV0\r\n");
    EXPECT_EQ(MakeAuthorization(kAuthBasic, "", "", "", "", "DESCRIBE", ""), "Authorization: Basic Og==\r\n");
    const std::string user(36, 'u');
    const std::string header72 = MakeAuthorization(kAuthBasic, user, std::string(35, 'p'), "", "", "PLAY", "u");
    EXPECT_EQ(header72.size(), std::string("Authorization: Basic \r\n").size() + 96);
    EXPECT_EQ(MakeAuthorization(kAuthBasic, user, std::string(36, 'p'), "", "", "PLAY", "u"), "");
    EXPECT_EQ(MakeAuthorization(kAuthNone, "a", "b", "r", "n", "PLAY", "u"), "");
    EXPECT_EQ(MakeAuthorization(7, "a", "b", "r", "n", "PLAY", "u"), "");
}

// Expected responses computed independently:
//   HA1=$(printf 'Mufasa:testrealm@host.com:Circle Of Life' | openssl dgst -md5 -r | cut -c1-32)
//   HA2=$(printf 'DESCRIBE:rtsp://10.0.0.5:554/stream1' | openssl dgst -md5 -r | cut -c1-32)
//   printf "$HA1:dcd98b7102dd2f0e8b11d0f600bfb0c093:$HA2" | openssl dgst -md5 -r
TEST(RtspAuthorization, DigestMatchesIndependentComputation) {
    const char* nonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
    const char* uri = "rtsp://10.0.0.5:554/stream1";
    EXPECT_EQ(MakeAuthorization(kAuthDigest, "Mufasa", "Circle Of Life", "testrealm@host.com", nonce, "DESCRIBE", uri),
              "Authorization: Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
              "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"rtsp://10.0.0.5:554/stream1\", "
              "response=\"804b0c509fe3ab8dcba0524a65514ba6\"\r\n");
    const std::string setup = MakeAuthorization(kAuthDigest, "Mufasa", "Circle Of Life", "testrealm@host.com", nonce,
                                                "SETUP", uri);
    EXPECT_NE(setup.find("response=\"12fe74815d2195c954ab869775bcde14\""), std::string::npos);
    const std::string play = MakeAuthorization(kAuthDigest, "Mufasa", "Circle Of Life", "testrealm@host.com", nonce,
                                               "PLAY", uri);
    EXPECT_NE(play.find("response=\"49e4237240ec06538ecc13c5dde33134\""), std::string::npos);
}

TEST(RtspAuthorization, DigestNeedsEveryValue) {
    EXPECT_EQ(MakeAuthorization(kAuthDigest, "u", "p", "", "n", "PLAY", "rtsp://x/"), "");
    EXPECT_EQ(MakeAuthorization(kAuthDigest, "u", "p", "r", "", "PLAY", "rtsp://x/"), "");
    EXPECT_EQ(MakeAuthorization(kAuthDigest, "", "p", "r", "n", "PLAY", "rtsp://x/"), "");
    EXPECT_EQ(MakeAuthorization(kAuthDigest, "u", "", "r", "n", "PLAY", "rtsp://x/"), "");
    EXPECT_EQ(MakeAuthorization(kAuthDigest, "u", "p", "r", "n", "PLAY", ""), "");
}
