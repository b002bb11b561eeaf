#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "rtp/CRTPPacketQueue.h"
#include "unit/rtp/RtpTestSupport.h"

using velkora::CRTPPacketQueue;
using velkora::QueuedPacket;

namespace {

// A record parsed from a datagram with the given sequence number and payload size (and
// RTP timestamp and marker bit).
QueuedPacket* Parsed(CRTPPacketQueue& queue, uint16_t sequence, size_t payload, uint16_t timestamp = 0,
                     bool marker = false)
{
    const rtptest::Bytes d = rtptest::RtpDatagram(marker ? 0x80 | 96 : 96, sequence, timestamp, 0x01020304, payload);
    QueuedPacket* record = queue.Acquire();
    if (record != nullptr)
        record->packet.Parse(d.data(), d.size());
    return record;
}

// Parses one record and pushes it alone; how many were dropped.
size_t PushParsed(CRTPPacketQueue& queue, uint16_t sequence, size_t payload, uint16_t timestamp = 0,
                  bool marker = false)
{
    QueuedPacket* record = Parsed(queue, sequence, payload, timestamp, marker);
    EXPECT_NE(record, nullptr);
    size_t dropped = 0;
    queue.Push(&record, 1, nullptr, 0, dropped);
    return dropped;
}

std::vector<uint16_t> Sequences(QueuedPacket* const* records, size_t count)
{
    std::vector<uint16_t> out;
    for (size_t i = 0; i < count; ++i)
        out.push_back(records[i]->packet.GetSequenceNumber());
    return out;
}

}  // namespace

TEST(RtpPacketQueue, KeepsOrderRefusesTheNewestWhenFullAndReusesItsRecords)
{
    CRTPPacketQueue queue(4);
    QueuedPacket* in[6];
    for (uint16_t s = 0; s < 6; ++s)
        in[s] = Parsed(queue, s, 100);
    QueuedPacket* spare[2] = {};
    size_t dropped = 0;
    EXPECT_EQ(queue.Push(in, 6, spare, 2, dropped), 2u);  // the refused two come back as spares
    EXPECT_EQ(dropped, 2u);
    EXPECT_EQ(queue.GetDropped(), 2u);

    QueuedPacket* out[8];
    size_t remaining = 0;
    size_t taken = queue.Take(nullptr, 0, out, 3, remaining);
    EXPECT_EQ(Sequences(out, taken), (std::vector<uint16_t>{0, 1, 2}));
    EXPECT_EQ(remaining, 1u);
    // The ring wraps: two more behind the one left.
    QueuedPacket* more[2] = {Parsed(queue, 6, 100), Parsed(queue, 7, 100)};
    queue.Push(more, 2, nullptr, 0, dropped);
    taken = queue.Take(out, taken, out, 8, remaining);
    EXPECT_EQ(Sequences(out, taken), (std::vector<uint16_t>{3, 6, 7}));
    EXPECT_EQ(remaining, 0u);

    // Steady state: records go round without a new allocation.
    const uint64_t allocations = queue.GetAllocations();
    queue.Release(out, taken);
    queue.Release(spare, 2);
    for (uint16_t s = 0; s < 1000; ++s) {
        PushParsed(queue, s, 1400);
        ASSERT_EQ(queue.Take(nullptr, 0, out, 8, remaining), 1u);
        queue.Release(out, 1);
    }
    EXPECT_EQ(queue.GetAllocations(), allocations);
}

TEST(RtpPacketQueue, AWaitingConsumerWakesForAPushOrAWake)
{
    CRTPPacketQueue queue;
    std::thread producer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PushParsed(queue, 1, 10);
    });
    queue.WaitForPackets(60000);  // a minute: only the push ends it (the ctest time-out would catch a miss)
    producer.join();
    EXPECT_EQ(queue.GetDepth(), 1u);
    queue.Clear();
    const auto start = std::chrono::steady_clock::now();
    queue.Wake();  // before the wait: the next one ends at once
    queue.WaitForPackets(60000);
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        queue.Wake();
    });
    queue.WaitForPackets(60000);
    closer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    // Each wake ends one wait only: the next runs to its time-out.
    const auto quiet = std::chrono::steady_clock::now();
    queue.WaitForPackets(50);
    EXPECT_GE(std::chrono::steady_clock::now() - quiet, std::chrono::milliseconds(50));
}

TEST(RtpPacketQueue, BoundsPayloadBytesAndRecords)
{
    CRTPPacketQueue queue;
    // Near-maximal datagrams: the byte limit, not the packet limit, stops them.
    const size_t fit = CRTPPacketQueue::kByteLimit / 60000;
    size_t queued = 0;
    for (uint16_t s = 0; s < fit + 10; ++s)
        queued += PushParsed(queue, s, 60000) == 0;
    EXPECT_EQ(queued, fit);
    EXPECT_EQ(queue.GetDepth(), fit);
    queue.Clear();
    EXPECT_EQ(queue.GetDepth(), 0u);

    // Records the queue will not take are not allocated without end either.
    CRTPPacketQueue small(2);
    size_t handedOut = 0;
    while (small.Acquire() != nullptr)
        ++handedOut;
    EXPECT_EQ(handedOut, 2u + CRTPPacketQueue::kRecordsInHand);
    EXPECT_EQ(small.GetDropped(), 1u);
}

// The consumer is woken once per access unit, not once per datagram: a push announces the
// queue when a unit ends (marker bit, or a new timestamp after a unit without one) or when
// a batch's worth of packets waits.
TEST(RtpPacketQueue, AnnouncesEndsOfAccessUnitsNotEveryPacket)
{
    CRTPPacketQueue queue(CRTPPacketQueue::kDefaultLimit, 60000);  // no time-based announcement here
    uint16_t sequence = 0;
    auto push = [&](uint16_t timestamp, bool marker) {
        PushParsed(queue, sequence++, 100, timestamp, marker);
        return queue.GetAnnouncements();
    };
    auto drain = [&] {
        QueuedPacket* out[64];
        size_t remaining = 0;
        const size_t taken = queue.Take(nullptr, 0, out, 64, remaining);
        queue.Release(out, taken);
        return taken;
    };
    EXPECT_EQ(push(1000, false), 1u);  // a stream's first packet
    drain();
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(push(1000, false), 1u);
    EXPECT_EQ(push(1000, true), 2u);   // the unit's last packet
    EXPECT_EQ(push(4000, false), 2u);  // the next unit has only begun
    EXPECT_EQ(drain(), 11u);
    EXPECT_EQ(push(7000, false), 3u);  // the unit at 4000 ended without a marker
    drain();
    for (size_t i = 1; i < CRTPPacketQueue::kWakeDepth; ++i)
        push(7000, false);
    EXPECT_EQ(queue.GetAnnouncements(), 3u);
    EXPECT_EQ(push(7000, false), 4u);  // enough are waiting

    // A consumer that sleeps while a unit is incomplete is not woken before its time-out.
    drain();
    push(7000, false);
    const auto start = std::chrono::steady_clock::now();
    queue.WaitForPackets(50);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_EQ(queue.GetDepth(), 1u);
}
