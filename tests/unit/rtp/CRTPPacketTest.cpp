#include <gtest/gtest.h>

#include <vector>

#include "rtp/CRTPPacket.h"

using Bytes = std::vector<uint8_t>;

namespace {

Bytes Datagram(uint8_t byte0, const Bytes& rest)
{
    Bytes d{byte0, 0xe0, 0x12, 0x34, 0xde, 0xad, 0xbe, 0xef, 0x01, 0x02, 0x03, 0x04};
    for (uint8_t b : rest)
        d.push_back(b);  // (insert() trips a false g++ 12 -Warray-bounds)
    return d;
}

}  // namespace

TEST(RtpPacket, HeaderFieldsAndPayloadAfterCsrcExtensionAndPadding)
{
    velkora::CRTPPacket p;
    const Bytes d =
        Datagram(0xb2, {1, 2, 3, 4, 5, 6, 7, 8, 0x10, 0x00, 0x00, 0x01, 9, 9, 9, 9, 0x41, 0x42, 0x00, 0x02});
    ASSERT_TRUE(p.Parse(d.data(), d.size()));
    EXPECT_EQ(p.GetMarker(), 1);
    EXPECT_EQ(p.GetSequenceNumber(), 0x1234);
    EXPECT_EQ(p.GetTimestamp(), 0xdeadbeefu);
    EXPECT_EQ(p.GetExtensionData(), (Bytes{9, 9, 9, 9}));
    ASSERT_EQ(p.GetPayloadLength(), 2u);  // padding removed
    EXPECT_EQ(p.GetPayload()[1], 0x42);
    // A rejected datagram leaves nothing of the previous packet behind.
    const Bytes bad = Datagram(0x40, {0x65});
    ASSERT_FALSE(p.Parse(bad.data(), bad.size()));
    EXPECT_TRUE(p.GetCsrcList().empty() && p.GetExtensionData().empty() && p.GetPayload() == nullptr);
}

TEST(RtpPacket, AcceptanceAndPayloadLength)
{
    const struct {
        const char* name;
        Bytes datagram;
        int payload;  // -1: rejected
    } cases[] = {
        {"header only", Datagram(0x80, {}), -1},
        {"version 3", Datagram(0xc0, {0x65}), -1},
        {"padding takes all after the header", Datagram(0xa0, {0, 0, 3}), 0},
        {"padding beyond the datagram", Datagram(0xa0, {0, 4}), -1},
        {"15 CSRC and nothing else", Datagram(0x8f, Bytes(60, 1)), -1},
        {"15 CSRC and one byte", Datagram(0x8f, Bytes(61, 1)), 1},
        {"extension length 0 takes 4 bytes", Datagram(0x90, {0xbe, 0xde, 0, 0, 0x65}), 1},
        {"extension longer than the datagram", Datagram(0x90, {0xbe, 0xde, 0, 2, 1, 2, 3, 4}), -1},
        // 4 + 0xffff * 4 is 0 in 16 bits: still refused, never read past the datagram.
        {"extension length wrapping 16 bits", Datagram(0x90, {0xbe, 0xde, 0xff, 0xff, 1, 2, 3, 4}), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        velkora::CRTPPacket p;
        ASSERT_EQ(p.Parse(c.datagram.data(), c.datagram.size()), c.payload >= 0);
        EXPECT_EQ(p.GetPayloadLength(), static_cast<uint32_t>(std::max(c.payload, 0)));
    }
}
