#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "rtp/CRTCPHandler.h"
#include "rtp/RtpSequenceStatistics.h"
#include "unit/rtp/LoopbackSocket.h"

using namespace rtptest;
using velkora::CRTCPHandler;
using velkora::RtpSequenceStatistics;

namespace {

uint32_t Be32(const Bytes& b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// A 28-byte SR whose NTP timestamp's middle 32 bits are `lsr`.
Bytes SenderReport(uint32_t lsr) {
    Bytes sr{0x80, 200, 0, 6, 0xca, 0xfe, 0xba, 0xbe, 0xe0, 0x00};
    for (int shift = 24; shift >= 0; shift -= 8) sr.push_back(static_cast<uint8_t>(lsr >> shift));
    sr.resize(28, 0x00);
    return sr;
}

const Bytes kBye{0x81, 203, 0, 1, 0xca, 0xfe, 0xba, 0xbe};

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

class ByeCounter : public velkora::IRTCPHandlerUser {
public:
    void OnRTCPBye() override { ++byes; }
    std::atomic<int> byes{0};
};

class RtcpHandler : public ::testing::Test {
protected:
    RtcpHandler() : handler(&debug) {
        handler.SetUser(&user);
        EXPECT_TRUE(handler.Open(inet_addr("127.0.0.1"), 0));
        port = handler.GetPort();
    }

    Bytes ExchangeSr(uint32_t lsr) {
        EXPECT_TRUE(camera.SendTo(port, SenderReport(lsr)));
        Bytes rr;
        EXPECT_TRUE(camera.Receive(rr));
        return rr;
    }

    NullDebug debug;
    ByeCounter user;
    CRTCPHandler handler;
    LoopbackSocket camera;
    uint16_t port = 0;
};

}  // namespace

TEST_F(RtcpHandler, EachSenderReportIsAnsweredByOneReceiverReport) {
    for (uint16_t s : {65534, 65535, 0, 1}) handler.NoteSequence(s);
    const Bytes rr = ExchangeSr(0x11223344);
    ASSERT_EQ(rr.size(), 32u);
    EXPECT_EQ(rr[0], 0x81);
    EXPECT_EQ(rr[1], 201);
    EXPECT_EQ(Be32(rr, 0) & 0xffff, 7u);
    EXPECT_EQ(Be32(rr, 8), 0xcafebabeu);     // the SR's sender
    EXPECT_EQ(Be32(rr, 12), 0u);             // loss not measured
    EXPECT_EQ(Be32(rr, 16), 65537u);         // one wrap, highest 1
    EXPECT_EQ(Be32(rr, 20), 0u);             // jitter not measured
    EXPECT_EQ(Be32(rr, 24), 0x11223344u);    // LSR
    EXPECT_LT(Be32(rr, 28), 65536u * 5);     // DLSR: answered well within seconds

    // Two SRs in one compound datagram (with an RR of the camera between): one answer,
    // carrying the later LSR. The next datagram answers the next SR, so none came between.
    Bytes rrOfCamera{0x80, 201, 0, 1, 9, 9, 9, 9};
    ASSERT_TRUE(camera.SendTo(port, Cat({SenderReport(0xaaaa0001), rrOfCamera, SenderReport(0xaaaa0002)})));
    Bytes answer;
    ASSERT_TRUE(camera.Receive(answer));
    EXPECT_EQ(Be32(answer, 24), 0xaaaa0002u);
    EXPECT_EQ(Be32(answer, 4), Be32(rr, 4));  // own SSRC is stable
    EXPECT_EQ(Be32(ExchangeSr(0xbbbb0001), 24), 0xbbbb0001u);
}

TEST_F(RtcpHandler, NothingIsSentBeforeTheFirstSenderReport) {
    handler.NoteSequence(10);
    // Malformed or foreign RTCP does not make the camera known.
    LoopbackSocket stranger("127.0.0.2");
    ASSERT_TRUE(stranger.SendTo(port, SenderReport(0x01010101)));
    Bytes shortSr{0x80, 200, 0, 0};  // length 0: the SR's fields lie outside it
    Bytes overrun = SenderReport(0x02020202);
    overrun[3] = 7;  // claims one word more than the datagram holds
    ASSERT_TRUE(camera.SendTo(port, shortSr));
    ASSERT_TRUE(camera.SendTo(port, overrun));
    ASSERT_TRUE(camera.SendTo(port, {0x80, 200}));
    // The first answer the camera sees is for its first valid SR.
    EXPECT_EQ(Be32(ExchangeSr(0x04040404), 24), 0x04040404u);
    Bytes none;
    EXPECT_FALSE(stranger.Receive(none, false));
}

TEST_F(RtcpHandler, ByeBothWays) {
    // Before any SR the camera's BYE is not reported and closing sends nothing.
    ASSERT_TRUE(camera.SendTo(port, kBye));
    const Bytes rr = ExchangeSr(0x12345678);
    EXPECT_EQ(user.byes, 0);

    // A BYE inside a compound packet, after the SR made the camera known.
    ASSERT_TRUE(camera.SendTo(port, Cat({Bytes{0x80, 201, 0, 1, 9, 9, 9, 9}, kBye})));
    ASSERT_TRUE(camera.SendTo(port, kBye));  // the second one finds the peer forgotten
    // A following SR is still answered, which also orders the checks after the BYEs.
    ExchangeSr(0x22222222);
    EXPECT_EQ(user.byes, 1);

    handler.Close();
    Bytes bye;
    ASSERT_TRUE(camera.Receive(bye, false));  // sent synchronously by Close
    ASSERT_EQ(bye.size(), 8u);
    EXPECT_EQ(bye[0], 0x81);
    EXPECT_EQ(bye[1], 203);
    EXPECT_EQ(bye[2], 0);
    EXPECT_EQ(bye[3], 1);
    EXPECT_EQ(Be32(bye, 4), Be32(rr, 4));
    EXPECT_EQ(handler.GetPort(), 0);
    EXPECT_FALSE(camera.Receive(bye, false));
}

TEST(RtcpHandlerOpen, RefusesNoAddressAndSecondOpen) {
    NullDebug debug;
    CRTCPHandler handler(&debug);
    EXPECT_FALSE(handler.Open(0, 0));
    ASSERT_TRUE(handler.Open(inet_addr("127.0.0.1"), 0));
    EXPECT_FALSE(handler.Open(inet_addr("127.0.0.1"), 0));
    handler.Close();
    handler.Close();  // twice is harmless
    EXPECT_EQ(handler.GetPort(), 0);
    EXPECT_TRUE(handler.Open(inet_addr("127.0.0.1"), 0));  // and it opens again
}

TEST(RtcpDlsr, UnitsOfOneOver65536Seconds) {
    EXPECT_EQ(CRTCPHandler::ComputeDlsr(0, 5000), 0u);  // no SR yet
    EXPECT_EQ(CRTCPHandler::ComputeDlsr(1000, 2000), 65536u);
    EXPECT_EQ(CRTCPHandler::ComputeDlsr(1000, 1250), 16384u);
    EXPECT_EQ(CRTCPHandler::ComputeDlsr(0xfffffc18u, 1000), 131072u);  // across the 32-bit ms wrap
}

TEST(RtpSequenceStatistics, ExtendedHighestSequence) {
    struct Case {
        const char* name;
        std::vector<uint16_t> sequence;
        uint32_t extended;
    };
    const Case cases[] = {
        {"in order", {100, 101, 102}, 102},
        {"wrap", {65534, 65535, 0, 1}, 65537},
        {"duplicates and late packets change nothing", {500, 501, 501, 499, 450}, 501},
        {"a small gap is accepted", {10, 2500}, 2500},
        {"one large jump is ignored", {10, 5010}, 10},
        {"a confirmed jump restarts the statistics", {10, 5010, 5011}, 5011},
        {"a confirmed jump after a wrap clears the cycles", {65535, 0, 9000, 9001}, 9001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RtpSequenceStatistics s;
        s.Init(c.sequence.front());
        for (uint16_t n : c.sequence) s.Update(n);
        EXPECT_EQ(s.ExtendedHighest(), c.extended);
    }
}
