#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "rtp/CRTPPacket.h"

using velkora::CRTPPacket;

namespace {

using Bytes = std::vector<uint8_t>;

// A version-2 header with the given first byte flags, then extra bytes.
Bytes Datagram(uint8_t byte0, uint8_t byte1, const Bytes& rest) {
    Bytes d{byte0, byte1, 0x12, 0x34, 0xde, 0xad, 0xbe, 0xef, 0x01, 0x02, 0x03, 0x04};
    for (uint8_t b : rest) d.push_back(b);  // (insert() trips a false g++ 12 -Warray-bounds)
    return d;
}

bool Parse(CRTPPacket& p, const Bytes& d) { return p.Parse(d.data(), d.size()); }

}  // namespace

TEST(RtpPacket, HeaderFieldsInHostOrderSsrcAsWireBytes) {
    CRTPPacket p;
    ASSERT_TRUE(Parse(p, Datagram(0x80, 0xe0, {0xaa, 0xbb})));
    EXPECT_EQ(p.GetMarker(), 1);
    EXPECT_EQ(p.GetPayloadType(), 96);
    EXPECT_EQ(p.GetSequenceNumber(), 0x1234);
    EXPECT_EQ(p.GetTimestamp(), 0xdeadbeefu);
    const uint32_t ssrc = p.GetSsrc();
    const uint8_t wire[] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(std::memcmp(&ssrc, wire, 4), 0);
    ASSERT_EQ(p.GetPayloadLength(), 2u);
    EXPECT_EQ(p.GetPayload()[0], 0xaa);
}

struct ParseCase {
    const char* name;
    Bytes datagram;
    bool accepted;
    uint32_t payloadLength;
};

TEST(RtpPacket, AcceptanceTable) {
    Bytes sixty(60, 0x11);
    Bytes sixtyOne(61, 0x11);
    const ParseCase cases[] = {
        {"header only", Datagram(0x80, 0x60, {}), false, 0},
        {"one payload byte", Datagram(0x80, 0x60, {0x65}), true, 1},
        {"version 1", Datagram(0x40, 0x60, {0x65}), false, 0},
        {"version 3", Datagram(0xc0, 0x60, {0x65}), false, 0},
        {"version 0", Datagram(0x00, 0x60, {0x65}), false, 0},
        {"padding equals rest", Datagram(0xa0, 0x60, {0x00, 0x00, 0x03}), true, 0},
        {"padding one byte", Datagram(0xa0, 0x60, {0x65, 0x66, 0x01}), true, 2},
        {"padding beyond datagram", Datagram(0xa0, 0x60, {0x00, 0x04}), false, 0},
        {"15 CSRC without payload", Datagram(0x8f, 0x60, sixty), false, 0},
        {"15 CSRC and one byte", Datagram(0x8f, 0x60, sixtyOne), true, 1},
        {"extension length 0", Datagram(0x90, 0x60, {0xbe, 0xde, 0x00, 0x00, 0x65}), true, 1},
        {"extension length 1", Datagram(0x90, 0x60, {0xbe, 0xde, 0x00, 0x01, 1, 2, 3, 4, 0x65}), true, 1},
        {"extension header cut", Datagram(0x90, 0x60, {0xbe, 0xde, 0x00}), false, 0},
        {"extension longer than datagram", Datagram(0x90, 0x60, {0xbe, 0xde, 0x00, 0x02, 1, 2, 3, 4}), false, 0},
        // 4 + 0xffff * 4 wraps to 0 in 16 bits; it must still be refused, not over-read.
        {"extension length wrapping 16 bits", Datagram(0x90, 0x60, {0xbe, 0xde, 0xff, 0xff, 1, 2, 3, 4}), false, 0},
        {"extension fills datagram", Datagram(0x90, 0x60, {0xbe, 0xde, 0x00, 0x01, 1, 2, 3, 4}), true, 0},
        {"CSRC, extension and padding",
         Datagram(0xb1, 0x60, {9, 9, 9, 9, 0x10, 0x00, 0x00, 0x01, 5, 5, 5, 5, 0x41, 0x42, 0x00, 0x02}), true, 2},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        CRTPPacket p;
        ASSERT_EQ(Parse(p, c.datagram), c.accepted);
        EXPECT_EQ(p.GetPayloadLength(), c.payloadLength);
        EXPECT_EQ(p.GetPayload() == nullptr, c.payloadLength == 0);
    }
}

TEST(RtpPacket, CopiesCsrcAndExtension) {
    CRTPPacket p;
    ASSERT_TRUE(Parse(p, Datagram(0x92, 0x60, {1, 2, 3, 4, 5, 6, 7, 8, 0x10, 0x00, 0x00, 0x01, 9, 9, 9, 9, 0x41})));
    EXPECT_EQ(p.GetCsrcCount(), 2);
    EXPECT_EQ(p.GetCsrcList(), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(p.GetExtensionProfile(), 0x1000);
    EXPECT_EQ(p.GetExtensionLength(), 1);
    EXPECT_EQ(p.GetExtensionData(), (Bytes{9, 9, 9, 9}));
    EXPECT_EQ(p.GetPayloadLength(), 1u);

    // A rejected datagram leaves nothing of the previous packet behind.
    ASSERT_FALSE(Parse(p, Datagram(0x40, 0x60, {0x65})));
    EXPECT_EQ(p.GetCsrcCount(), 0);
    EXPECT_TRUE(p.GetExtensionData().empty());
    EXPECT_EQ(p.GetPayload(), nullptr);
}
