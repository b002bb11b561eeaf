#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "rtp/CRTPPacket.h"

namespace velkora {

// Puts the packets of one RTP stream back in sequence order before frame assembly.
// In-sequence packets pass at once; a packet that arrives ahead of a hole is held until
// the hole is filled, or until the window runs out (too many packets held, or the oldest
// held too long): the hole then counts as lost and the held packets follow it, so the
// depacketizer sees the gap as it would have without the window. Packets older than the
// next one due (duplicates, or too late) are dropped. A packet far outside the window (a
// glitch, a forged datagram, or a sender that restarted its numbering) is held aside and
// becomes the new position only when the next packet continues from it; until then the
// current sequence goes on. Not locked: one feeding thread.
class RtpReorderWindow
{
public:
    using Deliver = std::function<void(const CRTPPacket&)>;

    // Large enough for the reordering of Wi-Fi and bonded links, short enough that a
    // real loss delays the frames behind it by no more than about one frame interval.
    static constexpr size_t kDefaultDepth = 64;
    static constexpr uint32_t kDefaultHoldMs = 50;

    explicit RtpReorderWindow(size_t depth = kDefaultDepth, uint32_t holdMs = kDefaultHoldMs);

    // Hands the packet, and whatever it releases, to `deliver` in sequence order.
    void Push(const CRTPPacket& packet, uint64_t nowMs, const Deliver& deliver);
    // Gives up the hole in front of held packets that waited beyond the hold time.
    void Expire(uint64_t nowMs, const Deliver& deliver);
    // Forgets the stream (a new session starts over at its first packet).
    void Reset();

    size_t Held() const { return held_; }
    uint64_t Reordered() const { return reordered_; }  // packets that arrived late and were slotted in
    uint64_t Dropped() const { return dropped_; }      // duplicates, packets too late, strays
    uint64_t Lost() const { return lost_; }            // sequence numbers given up

private:
    struct Slot {
        bool used = false;
        uint64_t arrivalMs = 0;
        CRTPPacket packet;
    };

    Slot& SlotOf(uint16_t sequence) { return slots_[sequence % slots_.size()]; }
    // Delivers the run of held packets starting at next_.
    void DeliverRun(const Deliver& deliver);
    // Skips to the first held packet, counting the skipped numbers as lost.
    void SkipHole(const Deliver& deliver);
    uint64_t OldestArrival() const;

    // Takes the held-aside packet as the new position: what is held goes out first.
    void Rebase(const Deliver& deliver);

    std::vector<Slot> slots_;
    const uint32_t holdMs_;
    bool started_ = false;
    uint16_t next_ = 0;  // sequence number due next
    size_t held_ = 0;
    uint64_t reordered_ = 0;
    uint64_t dropped_ = 0;
    uint64_t lost_ = 0;
    bool candidateHeld_ = false;  // a packet far outside the window, held aside
    CRTPPacket candidate_;
};

}  // namespace velkora
