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
// are dropped, the oldest are delivered first once the consumer resumes. The consumer
// sleeps in WaitForPackets and is woken only by a push that finds it asleep.
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

    explicit CRTPPacketQueue(uint32_t limit = kDefaultLimit);
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

private:
    void ReleaseLocked(QueuedPacket* record);
    size_t MaxRecords() const { return size_t{limit_} + kRecordsInHand; }

    std::mutex lock_;
    std::condition_variable pushed_;
    bool consumerWaiting_ = false;
    bool wakeRequested_ = false;
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
