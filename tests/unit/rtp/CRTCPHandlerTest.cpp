#include <gtest/gtest.h>

#include <atomic>

#include "rtp/CRTCPHandler.h"
#include "rtp/RtpSequenceStatistics.h"
#include "unit/rtp/RtpTestSupport.h"

using namespace rtptest;

namespace {

uint32_t Be32(const Bytes& b, size_t at)
{
    return uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

// A 28-byte SR from SSRC cafebabe whose NTP timestamp's middle 32 bits are `lsr`.
Bytes SenderReport(uint32_t lsr)
{
    Bytes sr(28, 0);
    PutBigEndian(sr, 0, 0x80c80006, 4);
    PutBigEndian(sr, 4, 0xcafebabe, 4);
    PutBigEndian(sr, 8, 0xe000, 2);
    PutBigEndian(sr, 10, lsr, 4);
    return sr;
}
const Bytes kBye{0x81, 203, 0, 1, 0xca, 0xfe, 0xba, 0xbe};
const Bytes kCameraRr{0x80, 201, 0, 1, 9, 9, 9, 9};

class RtcpHandler : public ::testing::Test, public velkora::IRTCPHandlerUser
{
protected:
    RtcpHandler() : handler(&debug) { handler.SetUser(this); }
    // Not in the constructor: the handler's thread may call this object once it is open.
    void SetUp() override
    {
        ASSERT_TRUE(handler.Open(inet_addr("127.0.0.1"), 0));
        port = handler.GetPort();
    }
    void TearDown() override { handler.Close(); }
    void OnRTCPBye() override { ++byes; }
    // Sends an SR and returns the next datagram the camera receives.
    Bytes ExchangeSr(uint32_t lsr)
    {
        EXPECT_TRUE(camera.SendTo(port, SenderReport(lsr)));
        Bytes answer;
        EXPECT_TRUE(camera.Receive(answer));
        return answer;
    }

    RecordingOwner debug;
    velkora::CRTCPHandler handler;
    LoopbackSocket camera;
    uint16_t port = 0;
    std::atomic<int> byes{0};
};

}  // namespace

TEST_F(RtcpHandler, EachSenderReportIsAnsweredByOneReceiverReport)
{
    for (uint16_t s : {65534, 65535, 0, 1})
        handler.NoteSequence(s);
    const Bytes rr = ExchangeSr(0x11223344);
    ASSERT_EQ(rr.size(), 32u);
    // V=2, one report block, RR, length 7; own SSRC; the SR's sender; loss and jitter not
    // measured; one wrap, highest 1; LSR; then the DLSR in 1/65536 s.
    EXPECT_EQ(Bytes(rr.begin(), rr.begin() + 28), Cat({{0x81, 201, 0, 7},
                                                       Bytes(rr.begin() + 4, rr.begin() + 8),
                                                       {0xca, 0xfe, 0xba, 0xbe, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0},
                                                       {0x11, 0x22, 0x33, 0x44}}));
    EXPECT_LT(Be32(rr, 28), 65536u * 5);
    // Two SRs in one compound datagram: one answer with the later LSR. The next datagram
    // then answers the next SR, so nothing came in between.
    ASSERT_TRUE(camera.SendTo(port, Cat({SenderReport(0xaaaa0001), kCameraRr, SenderReport(0xaaaa0002)})));
    Bytes answer;
    ASSERT_TRUE(camera.Receive(answer));
    EXPECT_EQ(Be32(answer, 24), 0xaaaa0002u);
    EXPECT_EQ(Be32(answer, 4), Be32(rr, 4));  // own SSRC stays
    EXPECT_EQ(Be32(ExchangeSr(0xbbbb0001), 24), 0xbbbb0001u);
}

TEST_F(RtcpHandler, NothingIsSentBeforeTheFirstValidSenderReport)
{
    LoopbackSocket stranger("127.0.0.2");
    LoopbackSocket otherPort;  // the camera's address, not its RTCP port
    handler.SetPeerPort(camera.Port());
    ASSERT_TRUE(stranger.SendTo(port, SenderReport(0x01010101)));  // not the camera
    ASSERT_TRUE(otherPort.SendTo(port, SenderReport(0x01010101)));
    ASSERT_TRUE(camera.SendTo(port, {0x80, 200, 0, 0}));  // SR fields outside the packet
    Bytes overrun = SenderReport(0x02020202);
    overrun[3] = 7;  // one word longer than the datagram
    ASSERT_TRUE(camera.SendTo(port, overrun));
    ASSERT_TRUE(camera.SendTo(port, kBye));  // BYE before any SR: not reported
    EXPECT_EQ(Be32(ExchangeSr(0x04040404), 24), 0x04040404u);
    Bytes none;
    EXPECT_FALSE(stranger.Receive(none, false));
    EXPECT_FALSE(otherPort.Receive(none, false));
    ASSERT_TRUE(otherPort.SendTo(port, kBye));
    ExchangeSr(0x05050505);
    EXPECT_EQ(byes, 0);
}

TEST_F(RtcpHandler, ByeBothWays)
{
    const Bytes rr = ExchangeSr(0x12345678);
    ASSERT_TRUE(camera.SendTo(port, Cat({kCameraRr, kBye})));  // reported once
    ASSERT_TRUE(camera.SendTo(port, kBye));                    // the peer is forgotten by then
    ExchangeSr(0x22222222);                                    // still answered; also orders the check after the BYEs
    EXPECT_EQ(byes, 1);

    handler.Close();
    Bytes bye;
    ASSERT_TRUE(camera.Receive(bye, false));  // sent by Close before it returns
    EXPECT_EQ(bye, Cat({{0x81, 203, 0, 1}, Bytes(rr.begin() + 4, rr.begin() + 8)}));
    EXPECT_FALSE(handler.Open(0, 0));
    ASSERT_TRUE(handler.Open(inet_addr("127.0.0.1"), 0));
    EXPECT_FALSE(handler.Open(inet_addr("127.0.0.1"), 0));  // already open
    handler.Close();
    EXPECT_FALSE(camera.Receive(bye, false));  // no SR since the reopening: no BYE
}

TEST(RtcpHandlerUnits, DlsrAndSequenceStatistics)
{
    EXPECT_EQ(velkora::CRTCPHandler::ComputeDlsr(0, 5000), 0u);  // no SR yet
    EXPECT_EQ(velkora::CRTCPHandler::ComputeDlsr(1000, 2000), 65536u);
    EXPECT_EQ(velkora::CRTCPHandler::ComputeDlsr(0xfffffc18u, 1000), 131072u);  // ms clock wrap

    const std::pair<std::vector<uint16_t>, uint32_t> cases[] = {
        {{500, 501, 501, 499, 450}, 501},  // duplicates and late packets
        {{10, 2500}, 2500},                // a gap under 3000
        {{10, 5010}, 10},                  // one large jump is ignored
        {{10, 5010, 5011}, 5011},          // a confirmed jump restarts the statistics
        {{65535, 0, 9000, 9001}, 9001},    // ... and clears the wraps
    };
    for (const auto& [sequence, extended] : cases) {
        velkora::RtpSequenceStatistics s;
        s.Init(sequence.front());
        for (uint16_t n : sequence)
            s.Update(n);
        EXPECT_EQ(s.ExtendedHighest(), extended) << "first " << sequence.front();
    }
}
