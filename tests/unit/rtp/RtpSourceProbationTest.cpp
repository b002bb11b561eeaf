#include <gtest/gtest.h>

#include "rtp/RtpSourceProbation.h"
#include "unit/rtp/RtpTestSupport.h"

using velkora::CRTPPacket;
using velkora::RtpSourceProbation;

namespace {

CRTPPacket Packet(uint16_t sequence, uint8_t payloadType = 96, uint32_t ssrc = 0x11223344)
{
    const rtptest::Bytes d = rtptest::RtpDatagram(payloadType, sequence, 0, ssrc);
    CRTPPacket packet;
    EXPECT_TRUE(packet.Parse(d.data(), d.size()));
    return packet;
}

// Offers packets 0..count-1 from `port` 60 ms apart; the index of the packet that
// switched, or -1.
int Feed(RtpSourceProbation& probation, uint16_t port, int count, uint8_t payloadType = 96, uint16_t first = 100)
{
    for (int i = 0; i < count; ++i)
        if (probation.Offer(port, Packet(static_cast<uint16_t>(first + i), payloadType), uint64_t(i) * 60))
            return i;
    return -1;
}

}  // namespace

TEST(RtpSourceProbation, FollowsOneSteadySenderOfTheStreamOnly)
{
    RtpSourceProbation probation;
    probation.Reset(96, 0);
    EXPECT_EQ(Feed(probation, 5000, 20), 9);  // ten packets over at least half a second

    probation.Reset(96, 0);
    EXPECT_EQ(Feed(probation, 5000, 20, 97), -1) << "another payload type than the SDP's";

    // Two senders taking turns never complete a run.
    probation.Reset(96, 0);
    bool switched = false;
    for (int i = 0; i < 40; ++i)
        switched |= probation.Offer(i % 2 ? 5000 : 5002, Packet(static_cast<uint16_t>(100 + i)), uint64_t(i) * 60);
    EXPECT_FALSE(switched);

    // Sequence numbers all over the place are not a stream.
    probation.Reset(-1, 0);
    for (int i = 0; i < 40; ++i)
        switched |= probation.Offer(5000, Packet(static_cast<uint16_t>(i * 977)), uint64_t(i) * 60);
    EXPECT_FALSE(switched);

    // A named SSRC must match.
    probation.Reset(96, Packet(0, 96, 0x55667788).GetSsrc());
    EXPECT_EQ(Feed(probation, 5000, 20), -1);
    probation.Reset(96, Packet(0).GetSsrc());
    EXPECT_EQ(Feed(probation, 5000, 20), 9);

    // Reordered by a place or two, the run goes on.
    probation.Reset(96, 0);
    const uint16_t order[] = {1, 3, 2, 4, 5, 7, 6, 8, 9, 10, 11, 12};
    int at = -1;
    for (int i = 0; i < 12 && at < 0; ++i)
        if (probation.Offer(5000, Packet(order[i]), uint64_t(i) * 60))
            at = i;
    EXPECT_EQ(at, 9);
}
