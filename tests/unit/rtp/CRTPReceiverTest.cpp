#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <thread>

#include "rtp/CRTPReceiver.h"
#include "unit/rtp/RtpTestSupport.h"

using namespace rtptest;
using velkora::CRTPReceiver;

namespace {

// Each datagram a whole access unit (marker bit set), as a camera sends small pictures.
Bytes Datagram(uint16_t sequence, size_t payloadSize, uint8_t version = 2)
{
    return RtpDatagram(0x80 | 96, sequence, 0x1000, 0x01020304, payloadSize, version);
}

// Records sequence number, payload length and sender port of each packet, and close notices.
// With `stall` set, holds the packet thread in the next packet until `resume` is set.
class RecordingUser : public velkora::IRTPReceiverUser, public velkora::IRTPClientUser
{
public:
    void OnRTPPacket(const sockaddr_in& from, const velkora::CRTPPacket& packet) override
    {
        if (stall.exchange(false)) {
            stalled.Set();
            resume.Wait(20000);
        }
        std::lock_guard lock(mutex);
        packets.push_back({packet.GetSequenceNumber(), packet.GetPayloadLength(), ntohs(from.sin_port)});
        otherThread = otherThread && std::this_thread::get_id() != testThread;
        changed.notify_all();
    }
    void OnRTPTimeout() override {}
    void OnRTPClosed() override { ++closed; }
    void OnDataReceived(velkora::IRTPClient*, const sockaddr_in&, const uint8_t*, size_t) override {}
    void OnReceiveTimeout(velkora::IRTPClient*) override {}
    void OnClientClosed(velkora::IRTPClient*) override { ++closed; }
    std::vector<std::vector<uint32_t>> WaitForPackets(size_t count)
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return packets.size() >= count; });
        return packets;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::vector<uint32_t>> packets;
    const std::thread::id testThread = std::this_thread::get_id();
    bool otherThread = true;
    std::atomic<int> closed{0};
    std::atomic<bool> stall{false};
    velkora::CManualEvent stalled, resume;
};

class RtpReceiver : public ::testing::Test
{
protected:
    RtpReceiver() { receiver.SetUser(&user); }
    // Opens on a free port; the port.
    uint16_t Open()
    {
        EXPECT_TRUE(receiver.Open(0));
        return receiver.GetPort();
    }

    RecordingOwner debug;
    RecordingUser user;
    CRTPReceiver receiver{&debug};
    LoopbackSocket camera;
};

}  // namespace

TEST_F(RtpReceiver, DeliversParsedPacketsInSequenceOrderOnItsQueueThread)
{
    const uint16_t port = Open();
    // An I-frame burst of a 1080p camera does not fit 64 KiB. The kernel grants up to
    // net.core.rmem_max and reports twice what was asked; a socket left at the default
    // reports net.core.rmem_default undoubled, so this holds only if the size was set.
    uint32_t rmemMax = 0;
    std::ifstream("/proc/sys/net/core/rmem_max") >> rmemMax;
    EXPECT_EQ(receiver.GetGrantedReceiveBuffer(), 2 * std::min<uint32_t>(CRTPReceiver::kSocketReceiveBuffer, rmemMax));
    // Reordered, a duplicate, one older than the first: put in order, the extra ones dropped.
    for (uint16_t s : {65535, 1, 0, 0, 65534})
        ASSERT_TRUE(camera.SendTo(port, Datagram(s, 100)));
    ASSERT_TRUE(camera.SendTo(port, Datagram(2, 100, 1)));  // version 1: dropped
    // 2000 bytes exceed the 1536-byte receive size: dropped, and the next receive offers 2560.
    ASSERT_TRUE(camera.SendTo(port, Datagram(2, 1988)));
    ASSERT_TRUE(camera.SendTo(port, Datagram(2, 1988)));
    const uint32_t from = camera.Port();
    const std::vector<std::vector<uint32_t>> expected{
        {65535, 100, from}, {0, 100, from}, {1, 100, from}, {2, 1988, from}};
    EXPECT_EQ(user.WaitForPackets(4), expected);
    receiver.Close();
    EXPECT_TRUE(user.otherThread);
    EXPECT_EQ(receiver.GetPort(), 0);
    EXPECT_EQ(user.closed, 1);
    // Open again: delivers from the start.
    ASSERT_TRUE(receiver.Open(0));
    ASSERT_TRUE(camera.SendTo(receiver.GetPort(), Datagram(500, 10)));
    EXPECT_EQ(user.WaitForPackets(5).at(4), (std::vector<uint32_t>{500, 10, from}));
    // Packets that come inside the RTSP connection take the same parse, queue and thread,
    // as from port 0; a malformed one is dropped quietly, as a datagram is.
    ASSERT_TRUE(receiver.OpenInterleaved());
    const Bytes interleaved = Datagram(501, 20);
    EXPECT_TRUE(receiver.OnInterleavedPacket(interleaved.data(), 12));
    EXPECT_TRUE(receiver.OnInterleavedPacket(interleaved.data(), interleaved.size()));
    EXPECT_EQ(receiver.OnInterleavedBatchEnd(), 0u);  // the read's packets cross together
    EXPECT_EQ(user.WaitForPackets(6).at(5), (std::vector<uint32_t>{501, 20, 0}));
    EXPECT_EQ(user.packets.size(), 6u);
}

// With a source set: another address never counts; the camera's address sets the heard
// event with any datagram, but only the port its SETUP answer named reaches the user.
TEST_F(RtpReceiver, HandsOnOnlyTheStreamsSender)
{
    velkora::CManualEvent heard;
    receiver.SetSource(inet_addr("127.0.0.1"), &heard);
    LoopbackSocket otherPort, stranger("127.0.0.2");
    const uint16_t port = Open();
    ASSERT_TRUE(stranger.SendTo(port, Datagram(1, 10)));
    EXPECT_FALSE(heard.Wait(300));
    ASSERT_TRUE(camera.SendTo(port, Datagram(2, 10)));  // before the SETUP answer: nothing is the camera's
    EXPECT_TRUE(heard.Wait(5000));
    receiver.AnnounceSource(camera.Port(), 0, -1);
    for (uint16_t s : {3, 4}) {
        ASSERT_TRUE(stranger.SendTo(port, Datagram(s, 10)));
        ASSERT_TRUE(otherPort.SendTo(port, Datagram(s, 10)));
        ASSERT_TRUE(camera.SendTo(port, Datagram(s, 10)));
    }
    const uint32_t from = camera.Port();
    EXPECT_EQ(user.WaitForPackets(2), (std::vector<std::vector<uint32_t>>{{3, 10, from}, {4, 10, from}}));
}

// The packet thread held up by the host: the queue stops at its limit, the newest datagrams
// are dropped (with one warning), the oldest come first once the host resumes, and then
// delivery goes on.
TEST_F(RtpReceiver, AStalledUserBoundsTheQueueAndDropsTheNewest)
{
    receiver.SetQueueLimit(16);
    user.stall = true;
    const uint16_t port = Open();
    ASSERT_TRUE(camera.SendTo(port, Datagram(0, 100)));
    ASSERT_TRUE(user.stalled.Wait(10000));
    constexpr uint16_t kSent = 300;
    for (uint16_t s = 1; s < kSent; ++s)
        ASSERT_TRUE(camera.SendTo(port, Datagram(s, 100)));
    for (int i = 0; i < 500 && receiver.GetDroppedPackets() < kSent - 16 - 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(receiver.GetDroppedPackets(), kSent - 16u - 1u);  // 1 in the user's hands, 16 queued
    user.resume.Set();
    const auto delivered = user.WaitForPackets(17);
    ASSERT_EQ(delivered.size(), 17u);
    for (uint16_t s = 0; s < 17; ++s)
        EXPECT_EQ(delivered[s][0], s);
    // The camera went on meanwhile: past the dropped ones, its numbers go on from there.
    ASSERT_TRUE(camera.SendTo(port, Datagram(kSent, 100)));
    ASSERT_TRUE(camera.SendTo(port, Datagram(kSent + 1, 100)));
    EXPECT_EQ(user.WaitForPackets(19).back()[0], kSent + 1u);
    const auto texts = debug.Texts();
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                            [](const std::string& t) { return t.find("Packet queue full") != std::string::npos; }),
              1);
    // Records are pooled, refused ones too: the burst allocated no more than the queue, the
    // user's packet and the UDP thread's two batches hold (the pool's cap is far above).
    EXPECT_LE(receiver.GetRecordAllocations(), 16u + 1u + 2 * CRTPReceiver::kBatchSize);
    // Inside the RTSP connection a read's packets cross together at its end; what the full
    // queue refused, within the read or at its end, is told to the session's reader.
    user.stalled.Reset();
    user.resume.Reset();
    user.stall = true;
    ASSERT_TRUE(receiver.OpenInterleaved());
    const Bytes first = Datagram(0, 100);
    ASSERT_TRUE(receiver.OnInterleavedPacket(first.data(), first.size()));
    EXPECT_EQ(receiver.OnInterleavedBatchEnd(), 0u);
    ASSERT_TRUE(user.stalled.Wait(10000));
    size_t refused = 0;
    for (uint16_t s = 1; s < 100; ++s) {
        const Bytes packet = Datagram(s, 100);
        refused += receiver.OnInterleavedPacket(packet.data(), packet.size()) ? 0 : 1;
    }
    EXPECT_EQ(refused + receiver.OnInterleavedBatchEnd(), 99u - 16u);
    user.resume.Set();
    EXPECT_EQ(user.WaitForPackets(19 + 17).size(), 19u + 17u);
}

TEST(UdpClient, CloseIsPromptAndASecondOpenFailsAndCloses)
{
    RecordingOwner debug;
    RecordingUser user;
    velkora::CUDPClient client(&debug);
    EXPECT_TRUE(client.Close());  // never opened: nothing to join, no call
    EXPECT_FALSE(client.OpenMulticast(&user, "239.1.300.1", 0));
    EXPECT_EQ(user.closed, 0);
    // A minute-long wait period does not hold up Close (the ctest time-out would catch it).
    client.SetSelectTimeout(60000);
    ASSERT_TRUE(client.Open(&user, 0));
    EXPECT_LE(client.GetGrantedReceiveBuffer(), 2u * 65535u);
    EXPECT_FALSE(client.Open(&user, 0));
    EXPECT_EQ(client.GetPort(), 0);
    EXPECT_EQ(user.closed, 1);
}
