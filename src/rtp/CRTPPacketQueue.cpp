#include "rtp/CRTPPacketQueue.h"

#include <algorithm>
#include <chrono>

#include "foundation/MonotonicClock.h"

namespace velkora {

CRTPPacketQueue::CRTPPacketQueue(uint32_t limit, uint64_t wakeDelayMs) : wakeDelayMs_(wakeDelayMs), limit_(0)
{
    SetLimit(limit);
}

CRTPPacketQueue::~CRTPPacketQueue() = default;

void CRTPPacketQueue::SetLimit(uint32_t limit)
{
    std::lock_guard guard(lock_);
    if (depth_ != 0)
        return;
    limit_ = std::max<uint32_t>(limit, 1);
    // Reserved up front: pushing and releasing never grow a container.
    ring_.assign(limit_, nullptr);
    head_ = 0;
    records_.reserve(MaxRecords());
    free_.reserve(MaxRecords());
}

QueuedPacket* CRTPPacketQueue::Acquire()
{
    std::lock_guard guard(lock_);
    if (!free_.empty()) {
        QueuedPacket* record = free_.back();
        free_.pop_back();
        return record;
    }
    if (records_.size() >= MaxRecords()) {
        ++dropped_;  // the caller has nowhere to put the datagram
        return nullptr;
    }
    records_.push_back(std::make_unique<QueuedPacket>());
    ++allocations_;
    return records_.back().get();
}

void CRTPPacketQueue::ReleaseLocked(QueuedPacket* record)
{
    record->packet.TrimStorage(kKeptCapacity);
    free_.push_back(record);
}

void CRTPPacketQueue::Release(QueuedPacket* const* records, size_t count)
{
    std::lock_guard guard(lock_);
    for (size_t i = 0; i < count; ++i)
        ReleaseLocked(records[i]);
}

size_t CRTPPacketQueue::Push(QueuedPacket* const* records, size_t count, QueuedPacket** spare, size_t spareWanted,
                             size_t& dropped)
{
    std::unique_lock guard(lock_);
    dropped = 0;
    bool unitEnded = false;
    for (size_t i = 0; i < count; ++i) {
        QueuedPacket* record = records[i];
        const size_t bytes = record->packet.GetPayloadLength();
        if (depth_ == limit_ || (depth_ > 0 && queuedBytes_ + bytes > kByteLimit)) {
            ReleaseLocked(record);
            ++dropped;
            continue;
        }
        ring_[(head_ + depth_) % limit_] = record;
        ++depth_;
        queuedBytes_ += bytes;
        unitEnded = EndsUnitLocked(record->packet) || unitEnded;
    }
    dropped_ += dropped;
    if (!ready_ && depth_ > 0) {
        // Read once per pushed batch: the coarse clock costs no system call and its few
        // milliseconds of resolution are enough for the wake-up delay.
        const uint64_t now = MonotonicCoarseMs();
        if (pendingSinceMs_ == 0)
            pendingSinceMs_ = now;
        if (unitEnded || depth_ >= kWakeDepth || now - pendingSinceMs_ >= wakeDelayMs_) {
            ready_ = true;
            ++announcements_;
        }
    }
    size_t refilled = 0;
    while (refilled < spareWanted && !free_.empty()) {
        spare[refilled++] = free_.back();
        free_.pop_back();
    }
    const bool wake = consumerWaiting_ && ready_;
    guard.unlock();
    if (wake)
        pushed_.notify_one();
    return refilled;
}

size_t CRTPPacketQueue::Take(QueuedPacket* const* done, size_t doneCount, QueuedPacket** out, size_t max,
                             size_t& remaining)
{
    std::lock_guard guard(lock_);
    for (size_t i = 0; i < doneCount; ++i)
        ReleaseLocked(done[i]);
    size_t taken = 0;
    while (taken < max && depth_ > 0) {
        QueuedPacket* record = ring_[head_];
        ring_[head_] = nullptr;
        head_ = (head_ + 1) % limit_;
        --depth_;
        queuedBytes_ -= record->packet.GetPayloadLength();
        out[taken++] = record;
    }
    remaining = depth_;
    if (depth_ == 0)
        ResetReadyLocked();
    return taken;
}

bool CRTPPacketQueue::EndsUnitLocked(const CRTPPacket& packet)
{
    const uint32_t timestamp = packet.GetTimestamp();
    const bool ends = packet.GetMarker() != 0 || !haveTimestamp_ || (timestamp != lastTimestamp_ && !unitEnded_);
    haveTimestamp_ = true;
    lastTimestamp_ = timestamp;
    unitEnded_ = packet.GetMarker() != 0;
    return ends;
}

void CRTPPacketQueue::ResetReadyLocked()
{
    ready_ = false;
    pendingSinceMs_ = 0;
}

void CRTPPacketQueue::Clear()
{
    std::lock_guard guard(lock_);
    while (depth_ > 0) {
        ReleaseLocked(ring_[head_]);
        ring_[head_] = nullptr;
        head_ = (head_ + 1) % limit_;
        --depth_;
    }
    head_ = 0;
    queuedBytes_ = 0;
    ResetReadyLocked();
    haveTimestamp_ = false;
    unitEnded_ = false;
}

void CRTPPacketQueue::WaitForPackets(uint32_t timeoutMs)
{
    std::unique_lock guard(lock_);
    consumerWaiting_ = true;
    pushed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return ready_ || wakeRequested_; });
    consumerWaiting_ = false;
    wakeRequested_ = false;
}

void CRTPPacketQueue::Wake()
{
    {
        std::lock_guard guard(lock_);
        wakeRequested_ = true;
    }
    pushed_.notify_one();
}

size_t CRTPPacketQueue::GetDepth()
{
    std::lock_guard guard(lock_);
    return depth_;
}

uint64_t CRTPPacketQueue::GetAllocations()
{
    std::lock_guard guard(lock_);
    return allocations_;
}

uint64_t CRTPPacketQueue::GetAnnouncements()
{
    std::lock_guard guard(lock_);
    return announcements_;
}

uint64_t CRTPPacketQueue::GetDropped()
{
    std::lock_guard guard(lock_);
    return dropped_;
}

}  // namespace velkora
