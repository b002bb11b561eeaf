#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <atomic>
#include <mutex>
#include <thread>

#include "rtp/CRTPReceiver.h"
#include "unit/rtp/RtpTestSupport.h"

using namespace rtptest;
using velkora::CRTPReceiver;

namespace {

Bytes Datagram(uint16_t sequence, size_t payloadSize, uint8_t version = 2) {
    Bytes d{static_cast<uint8_t>(version << 6), 96, static_cast<uint8_t>(sequence >> 8), static_cast<uint8_t>(sequence),
            0, 0, 0x10, 0, 1, 2, 3, 4};
    d.resize(12 + payloadSize, 0x41);
    return d;
}

struct Received {
    uint16_t sequence;
    uint32_t payloadLength;
    uint16_t fromPort;
    std::thread::id thread;
};

class RecordingUser : public velkora::IRTPReceiverUser {
public:
    void OnRTPPacket(const sockaddr_in& from, const velkora::CRTPPacket& packet) override {
        std::unique_lock<std::mutex> lock(mutex);
        packets.push_back({packet.GetSequenceNumber(), packet.GetPayloadLength(), ntohs(from.sin_port),
                           std::this_thread::get_id()});
        changed.notify_all();
        if (holdFirst) changed.wait_for(lock, std::chrono::seconds(10), [&] { return closed > 0; });
    }
    void OnRTPTimeout() override {}
    void OnRTPClosed() override {
        std::lock_guard<std::mutex> lock(mutex);
        ++closed;  // Close has already told the queue thread to stop
        changed.notify_all();
    }
    std::vector<Received> WaitForPackets(size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return packets.size() >= count; });
        return packets;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Received> packets;
    bool holdFirst = false;
    int closed = 0;
};

class RtpReceiver : public ::testing::Test {
protected:
    RtpReceiver() : receiver(&debug) { receiver.SetUser(&user); }
    NullDebug debug;
    RecordingUser user;
    CRTPReceiver receiver;
    LoopbackSocket camera;
};

}  // namespace

TEST_F(RtpReceiver, DeliversParsedPacketsInArrivalOrderOnItsQueueThread) {
    ASSERT_TRUE(receiver.Open(0));
    const uint16_t port = receiver.GetPort();
    const uint16_t sequences[] = {7, 6, 65535, 0};  // arrival order, not sequence order
    for (uint16_t s : sequences) ASSERT_TRUE(camera.SendTo(port, Datagram(s, 100)));
    ASSERT_TRUE(camera.SendTo(port, Datagram(99, 100, 1)));  // version 1: dropped
    // 2000 bytes exceed the 1536-byte receive size: dropped, and the next receive offers 2560.
    ASSERT_TRUE(camera.SendTo(port, Datagram(1, 1988)));
    ASSERT_TRUE(camera.SendTo(port, Datagram(2, 1988)));
    const std::vector<Received> got = user.WaitForPackets(5);
    receiver.Close();
    ASSERT_EQ(got.size(), 5u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(got[i].sequence, sequences[i]);
    EXPECT_EQ(got[4].sequence, 2);
    EXPECT_EQ(got[4].payloadLength, 1988u);
    for (const Received& r : got) {
        EXPECT_EQ(r.fromPort, camera.Port());  // the channel filters on the sender
        EXPECT_NE(r.thread, std::this_thread::get_id());
    }
    EXPECT_EQ(receiver.GetPort(), 0);
    EXPECT_EQ(user.closed, 1);
}

TEST_F(RtpReceiver, CloseStopsDeliveryAndDropsQueuedPackets) {
    user.holdFirst = true;  // the queue thread is busy with packet 1 while more queue up
    ASSERT_TRUE(receiver.Open(0));
    for (uint16_t s = 1; s <= 20; ++s) ASSERT_TRUE(camera.SendTo(receiver.GetPort(), Datagram(s, 50)));
    ASSERT_EQ(user.WaitForPackets(1).size(), 1u);
    receiver.Close();  // its client's close notice releases packet 1
    EXPECT_EQ(user.WaitForPackets(1).size(), 1u);
    // Open again: delivers from the start.
    ASSERT_TRUE(receiver.Open(0));
    ASSERT_TRUE(camera.SendTo(receiver.GetPort(), Datagram(500, 10)));
    EXPECT_EQ(user.WaitForPackets(2).at(1).sequence, 500);
}

TEST_F(RtpReceiver, AsksForAFourMegabyteSocketBuffer) {
    // An I-frame burst of a 1080p camera does not fit 64 KiB. The kernel grants up to
    // net.core.rmem_max (and reports twice what it grants); plain UDP clients keep 65535.
    uint32_t rmemMax = 0;
    std::ifstream("/proc/sys/net/core/rmem_max") >> rmemMax;
    ASSERT_TRUE(receiver.Open(0));
    EXPECT_GE(receiver.GetGrantedReceiveBuffer(), std::min<uint32_t>(CRTPReceiver::kSocketReceiveBuffer, rmemMax));
    velkora::CUDPClient plain(&debug);
    ASSERT_TRUE(plain.Open(&receiver, 0));
    EXPECT_LE(plain.GetGrantedReceiveBuffer(), 2u * 65535u);
}

namespace {
class ClosingUser : public velkora::IRTPClientUser {
public:
    void OnDataReceived(velkora::IRTPClient*, const sockaddr_in&, const uint8_t*, size_t) override {}
    void OnReceiveTimeout(velkora::IRTPClient*) override {}
    void OnClientClosed(velkora::IRTPClient*) override { ++closed; }
    std::atomic<int> closed{0};
};
}  // namespace

TEST(UdpClient, OpenSendAndClose) {
    NullDebug debug;
    ClosingUser user;
    velkora::CUDPClient client(&debug);
    EXPECT_TRUE(client.Close());  // never opened: nothing to join, no call
    EXPECT_FALSE(client.OpenMulticast(&user, "", 0));
    EXPECT_FALSE(client.OpenMulticast(&user, "239.1.300.1", 0));
    EXPECT_EQ(user.closed, 0);

    // A minute-long wait period does not hold up Close (the ctest time-out would catch it).
    client.SetSelectTimeout(60000);
    ASSERT_TRUE(client.Open(&user, 0));
    LoopbackSocket peer;
    const sockaddr_in to{AF_INET, htons(peer.Port()), {inet_addr("127.0.0.1")}, {}};
    const Bytes hello{1, 2, 3};
    ASSERT_TRUE(client.SendTo(to, hello.data(), hello.size()));
    Bytes got;
    ASSERT_TRUE(peer.Receive(got));
    EXPECT_EQ(got, hello);
    EXPECT_FALSE(client.Open(&user, 0));  // a second open fails and closes
    EXPECT_EQ(client.GetPort(), 0);
    EXPECT_EQ(user.closed, 1);
    EXPECT_FALSE(client.SendTo(to, hello.data(), hello.size()));
}
