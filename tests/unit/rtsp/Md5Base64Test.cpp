#include "rtsp/Base64.h"
#include "rtsp/Md5.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velkora;

TEST(Md5, Rfc1321TestSuite) {
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PiecewiseUpdatesMatchOneShotAcrossBlockAndPaddingBoundaries) {
    for (std::size_t size : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
        std::string data;
        for (std::size_t i = 0; i < size; ++i) data += static_cast<char>(i * 7 + 3);
        for (std::size_t piece : {1u, 3u, 63u, 64u}) {
            CMd5 md5;
            for (std::size_t at = 0; at < size; at += piece) md5.Update(std::string_view(data).substr(at, piece));
            EXPECT_EQ(md5.Final(), Md5(data)) << size << " in pieces of " << piece;
        }
    }
}

TEST(Base64, Rfc4648Vectors) {
    const char* const vectors[][2] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                                      {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                                      {"foobar", "Zm9vYmFy"}};
    for (const auto& v : vectors) {
        EXPECT_EQ(Base64Encode(v[0]), v[1]);
        std::vector<std::uint8_t> out;
        ASSERT_TRUE(Base64Decode(v[1], out));
        EXPECT_EQ(std::string(out.begin(), out.end()), v[0]);
    }
    const std::uint8_t high[] = {0xff, 0xfe, 0x00, 0x80};
    EXPECT_EQ(Base64Encode(high, sizeof high), "//4AgA==");
}

TEST(Base64, DecoderSkipsForeignCharactersAndHonoursTheLimit) {
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(Base64Decode("aM48\r\n gA==", out));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0x68, 0xce, 0x3c, 0x80}));
    ASSERT_TRUE(Base64Decode("=*=", out));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(Base64Decode("Zm9vYmFy", out, 6));
    EXPECT_FALSE(Base64Decode("Zm9vYmFy", out, 5));
    EXPECT_TRUE(out.empty());
}

TEST(Base64, MimeSizingAdmitsAtMost72BytesIn100) {
    EXPECT_EQ(Base64MimeEncodedSize(72), 100u);
    EXPECT_EQ(Base64MimeEncodedSize(73), 104u);
    EXPECT_EQ(Base64MimeEncodedSize(0), 0u);
    EXPECT_EQ(Base64MimeEncodedSize(1), 6u);
}
