#pragma once

#include <netinet/in.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "rtp/CRTPPacket.h"

namespace velkora {

// A parsed packet with its sender, as it travels from the UDP thread to the packet thread.
struct QueuedPacket {
    sockaddr_in from{};
    CRTPPacket packet;
};

// Bounded first-in first-out queue of packet records, and the pool the records come from.
// Records keep their byte blocks between uses, so once the pool has warmed up a packet is
// parsed, queued and delivered without an allocation. Batches cross under one lock
// acquisition each way. When the consumer stalls, the queue holds at most its limit in
// packets (and kByteLimit in payload bytes) and further packets are refused: the newest
// are dropped, the oldest are delivered first once the consumer resumes.
//
// The consumer sleeps in WaitForPackets and is woken only when a push makes the queue
// worth taking: an access unit ended (a packet with the marker bit, or a new RTP timestamp
// after a unit that ended without one), kWakeDepth packets wait, or the oldest waiting
// packet has waited kWakeDelayMs by the coarse clock (in effect: until its next tick, a
// few milliseconds). A frame is complete only at the end of its unit, so frames are
// delivered as early as before, with a few wake-ups per frame instead of one per datagram;
// the time rule keeps a unit whose end the queue does not see (a stream that stops in the
// middle of one, a sender without markers) from waiting long for the next push, and
// bounds the delivery latency under load (without it about one frame in a hundred waited
// a frame interval in the benchmark).
class CRTPPacketQueue
{
public:
    static constexpr uint32_t kDefaultLimit = 2048;
    static constexpr size_t kByteLimit = 4 * 1024 * 1024;
    // Records the pool keeps beyond the queue limit: the batches in the producer's and the
    // consumer's hands.
    static constexpr uint32_t kRecordsInHand = 128;
    // A record whose blocks grew beyond this (a camera's oversized datagram) gives its
    // storage back when returned, so a burst of large datagrams is not kept for good.
    static constexpr size_t kKeptCapacity = 4096;
    // When a push wakes the consumer (see above).
    static constexpr size_t kWakeDepth = 32;
    static constexpr uint64_t kWakeDelayMs = 1;

    explicit CRTPPacketQueue(uint32_t limit = kDefaultLimit, uint64_t wakeDelayMs = kWakeDelayMs);
    ~CRTPPacketQueue();
    CRTPPacketQueue(const CRTPPacketQueue&) = delete;
    CRTPPacketQueue& operator=(const CRTPPacketQueue&) = delete;

    // Packets the queue holds at most (at least 1); takes effect when the queue is empty.
    void SetLimit(uint32_t limit);
    uint32_t GetLimit() const { return limit_; }

    // A free record, allocated when the pool has none left; null once the pool holds as
    // many records as the limit allows (the caller drops the datagram).
    QueuedPacket* Acquire();
    // Gives records back to the pool.
    void Release(QueuedPacket* const* records, size_t count);
    // Appends in order; records that do not fit are released and counted as dropped.
    // Refills `spare` (up to `spareWanted` free records, without allocating) in the same
    // acquisition, and wakes a waiting consumer. `dropped`: records refused.
    size_t Push(QueuedPacket* const* records, size_t count, QueuedPacket** spare, size_t spareWanted, size_t& dropped);
    // Releases `done` (records the consumer has finished with) and takes up to `max` from
    // the front into `out`; returns how many were taken. `remaining`: left in the queue.
    size_t Take(QueuedPacket* const* done, size_t doneCount, QueuedPacket** out, size_t max, size_t& remaining);
    // Every queued record back to the pool.
    void Clear();
    // Returns when the queue holds a packet, Wake was called or the time-out passed.
    void WaitForPackets(uint32_t timeoutMs);
    // Ends the current (or the next) WaitForPackets at once.
    void Wake();

    size_t GetDepth();
    // Records allocated since construction (each is allocated once, then reused).
    uint64_t GetAllocations();
    // Packets refused because the queue was full (or no record was left for them).
    uint64_t GetDropped();
    // Times a push made the queue worth taking (at most one wake-up of the consumer each).
    uint64_t GetAnnouncements();

private:
    void ReleaseLocked(QueuedPacket* record);
    // Whether the packet just queued ends or follows a finished access unit.
    bool EndsUnitLocked(const CRTPPacket& packet);
    void ResetReadyLocked();
    size_t MaxRecords() const { return size_t{limit_} + kRecordsInHand; }

    std::mutex lock_;
    std::condition_variable pushed_;
    bool consumerWaiting_ = false;
    bool wakeRequested_ = false;
    bool ready_ = false;           // the queue is worth taking (reset when it is emptied)
    uint64_t pendingSinceMs_ = 0;  // when the oldest packet not yet announced was queued
    bool haveTimestamp_ = false;
    bool unitEnded_ = false;  // the last packet queued carried the marker bit
    uint32_t lastTimestamp_ = 0;
    uint64_t announcements_ = 0;
    const uint64_t wakeDelayMs_;
    uint32_t limit_;
    std::vector<std::unique_ptr<QueuedPacket>> records_;  // every record ever allocated
    std::vector<QueuedPacket*> free_;
    std::vector<QueuedPacket*> ring_;  // limit_ slots
    size_t head_ = 0;
    size_t depth_ = 0;
    size_t queuedBytes_ = 0;
    uint64_t allocations_ = 0;
    uint64_t dropped_ = 0;
};

}  // namespace velkora
