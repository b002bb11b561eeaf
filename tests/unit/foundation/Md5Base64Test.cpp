#include "foundation/Base64.h"
#include "foundation/Md5.h"

#include <gtest/gtest.h>

using namespace velkora;

TEST(Md5, Rfc1321VectorsAndPiecewiseUpdates)
{
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("1234567890123456789012345678901234567890"
                     "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    // Sizes around the block and padding boundaries, fed in uneven pieces.
    for (std::size_t size : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
        std::string data(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            data[i] = static_cast<char>(i * 7 + 3);
        for (std::size_t piece : {1u, 3u, 63u, 64u}) {
            CMd5 md5;
            for (std::size_t at = 0; at < size; at += piece)
                md5.Update(std::string_view(data).substr(at, piece));
            EXPECT_EQ(md5.Final(), Md5(data)) << size << " in pieces of " << piece;
        }
    }
}

TEST(Base64, Rfc4648VectorsAndLenientDecoding)
{
    const char* const vectors[][2] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}};
    std::vector<std::uint8_t> out;
    for (const auto& v : vectors) {
        EXPECT_EQ(Base64Encode(v[0]), v[1]);
        ASSERT_TRUE(Base64Decode(v[1], out));
        EXPECT_EQ(std::string(out.begin(), out.end()), v[0]);
    }
    const std::uint8_t high[] = {0xff, 0xfe, 0x00, 0x80};
    EXPECT_EQ(Base64Encode(high, sizeof high), "//4AgA==");
    ASSERT_TRUE(Base64Decode("aM48\r\n gA==", out));  // foreign characters are skipped
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0x68, 0xce, 0x3c, 0x80}));
    EXPECT_TRUE(Base64Decode("Zm9vYmFy", out, 6));
    EXPECT_FALSE(Base64Decode("Zm9vYmFy", out, 5));  // larger than the caller's limit
    EXPECT_TRUE(out.empty());
}
