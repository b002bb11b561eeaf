#include <gtest/gtest.h>

#include <string>

#include "foundation/Sha1.h"

using velkora::CSha1;

namespace {

std::string Hex(const CSha1::Digest& digest)
{
    std::string text;
    for (uint8_t b : digest)
        text += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    return text;
}

}  // namespace

TEST(Sha1, FipsVectors)
{
    EXPECT_EQ("da39a3ee5e6b4b0d3255bfef95601890afd80709", Hex(CSha1::Of("")));
    EXPECT_EQ("84983e441c3bd26ebaae4aa1f95129e5e54670f1",
              Hex(CSha1::Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")));
    CSha1 million;
    const std::string block(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        million.Update(block.data(), 7), million.Update(block.data() + 7, block.size() - 7);
    EXPECT_EQ("34aa973cd4c4daa4f61eeb2bdbad27316534016f", Hex(million.Final()));
}
