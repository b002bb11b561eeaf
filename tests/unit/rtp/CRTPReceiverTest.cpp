#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "rtp/CRTPReceiver.h"
#include "unit/rtp/LoopbackSocket.h"

using namespace rtptest;
using velkora::CRTPPacket;
using velkora::CRTPReceiver;

namespace {

Bytes Datagram(uint16_t sequence, size_t payloadSize, uint8_t version = 2) {
    Bytes d{static_cast<uint8_t>(version << 6), 96, static_cast<uint8_t>(sequence >> 8),
            static_cast<uint8_t>(sequence), 0, 0, 0x10, 0, 1, 2, 3, 4};
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
    void OnRTPPacket(const sockaddr_in& from, const CRTPPacket& packet) override {
        std::unique_lock<std::mutex> lock(mutex_);
        packets_.push_back({packet.GetSequenceNumber(), packet.GetPayloadLength(), ntohs(from.sin_port),
                            std::this_thread::get_id()});
        changed_.notify_all();
        if (holdFirst_) changed_.wait_for(lock, std::chrono::seconds(10), [&] { return released_; });
    }
    void OnRTPTimeout() override {}
    void OnRTPClosed() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++closed_;
        released_ = true;  // Close has asked the queue thread to stop: let it go
        changed_.notify_all();
    }

    bool WaitForPackets(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return packets_.size() >= count; });
    }
    std::vector<Received> Packets() {
        std::lock_guard<std::mutex> lock(mutex_);
        return packets_;
    }
    int Closed() {
        std::lock_guard<std::mutex> lock(mutex_);
        return closed_;
    }
    void HoldFirstPacket() { holdFirst_ = true; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Received> packets_;
    bool holdFirst_ = false;
    bool released_ = false;
    int closed_ = 0;
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
    ASSERT_NE(port, 0);
    const uint16_t sequences[] = {7, 6, 5, 65535, 0};  // arrival order, not sequence order
    for (uint16_t s : sequences) ASSERT_TRUE(camera.SendTo(port, Datagram(s, 100)));
    ASSERT_TRUE(camera.SendTo(port, Datagram(99, 100, 1)));  // version 1: dropped
    ASSERT_TRUE(camera.SendTo(port, Datagram(1, 12)));
    ASSERT_TRUE(user.WaitForPackets(6));
    receiver.Close();

    const std::vector<Received> got = user.Packets();
    ASSERT_EQ(got.size(), 6u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(got[i].sequence, sequences[i]);
    EXPECT_EQ(got[5].sequence, 1);
    EXPECT_EQ(got[5].payloadLength, 12u);
    for (const Received& r : got) {
        EXPECT_EQ(r.fromPort, camera.Port());  // the channel filters on the sender
        EXPECT_NE(r.thread, std::this_thread::get_id());
        EXPECT_EQ(r.thread, got[0].thread);
    }
    EXPECT_EQ(receiver.GetPort(), 0);
    EXPECT_EQ(user.Closed(), 1);
}

TEST_F(RtpReceiver, OversizedDatagramIsDroppedAndTheReceiveSizeGrows) {
    ASSERT_TRUE(receiver.Open(0));
    const uint16_t port = receiver.GetPort();
    // The receive size starts at 1536 bytes: a 2000-byte datagram is dropped, the next
    // receive offers 2560 bytes, so the second one arrives whole.
    ASSERT_TRUE(camera.SendTo(port, Datagram(1, 1988)));
    ASSERT_TRUE(camera.SendTo(port, Datagram(2, 1988)));
    ASSERT_TRUE(camera.SendTo(port, Datagram(3, 3000)));  // beyond 2560: dropped again
    ASSERT_TRUE(camera.SendTo(port, Datagram(4, 3000)));  // 3584 offered now
    ASSERT_TRUE(user.WaitForPackets(2));
    receiver.Close();
    const std::vector<Received> got = user.Packets();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].sequence, 2);
    EXPECT_EQ(got[0].payloadLength, 1988u);
    EXPECT_EQ(got[1].sequence, 4);
    EXPECT_EQ(got[1].payloadLength, 3000u);
}

TEST_F(RtpReceiver, CloseStopsDeliveryAndDropsQueuedPackets) {
    user.HoldFirstPacket();  // the queue thread is busy with packet 1 while more queue up
    ASSERT_TRUE(receiver.Open(0));
    const uint16_t port = receiver.GetPort();
    for (uint16_t s = 1; s <= 20; ++s) ASSERT_TRUE(camera.SendTo(port, Datagram(s, 50)));
    ASSERT_TRUE(user.WaitForPackets(1));
    // Close signals the queue thread first; closing the UDP client releases the held packet.
    receiver.Close();
    EXPECT_EQ(user.Packets().size(), 1u);
    EXPECT_EQ(receiver.GetPort(), 0);

    // The receiver can be opened again and delivers from the start.
    ASSERT_TRUE(receiver.Open(0));
    ASSERT_TRUE(camera.SendTo(receiver.GetPort(), Datagram(500, 10)));
    ASSERT_TRUE(user.WaitForPackets(2));
    EXPECT_EQ(user.Packets()[1].sequence, 500);
}

TEST_F(RtpReceiver, OpenFailsOnABusyPortAndLeavesEverythingClosed) {
    LoopbackSocket other("0.0.0.0");
    EXPECT_FALSE(receiver.Open(other.Port()));
    EXPECT_EQ(receiver.GetPort(), 0);
}
