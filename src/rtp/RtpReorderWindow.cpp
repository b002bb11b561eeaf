#include "rtp/RtpReorderWindow.h"

#include <algorithm>
#include <limits>

namespace velkora {

namespace {

// Signed distance of `sequence` ahead of `reference`, modulo 2^16.
int32_t Distance(uint16_t sequence, uint16_t reference)
{
    return static_cast<int16_t>(static_cast<uint16_t>(sequence - reference));
}

}  // namespace

RtpReorderWindow::RtpReorderWindow(size_t depth, uint32_t holdMs) : slots_(std::max<size_t>(depth, 2)), holdMs_(holdMs)
{
}

void RtpReorderWindow::Reset()
{
    for (Slot& slot : slots_)
        if (slot.used) {
            slot.used = false;
            slot.packet.Clear();
        }
    started_ = false;
    held_ = 0;
    candidateHeld_ = false;
    candidate_.Clear();
}

void RtpReorderWindow::Push(const CRTPPacket& packet, uint64_t nowMs, const Deliver& deliver)
{
    const uint16_t sequence = packet.GetSequenceNumber();
    if (!started_) {
        started_ = true;
        next_ = sequence;
    }
    const int32_t distance = Distance(sequence, next_);
    const auto depth = static_cast<int32_t>(slots_.size());
    if (distance >= depth || distance <= -4 * depth) {
        // Far ahead or far behind: one such packet is more likely a glitch or a forgery
        // than a new position, so it waits for its successor.
        if (!candidateHeld_ || sequence != static_cast<uint16_t>(candidate_.GetSequenceNumber() + 1)) {
            if (candidateHeld_)
                ++dropped_;
            candidate_ = packet;
            candidateHeld_ = true;
            Expire(nowMs, deliver);
            return;
        }
        Rebase(deliver);
    } else {
        if (candidateHeld_) {
            candidateHeld_ = false;  // the current sequence went on: it was a stray
            ++dropped_;
        }
        if (distance < 0) {
            ++dropped_;  // a duplicate, or it arrived after its hole was given up
            return;
        }
    }
    if (sequence == next_) {
        if (held_ > 0)
            ++reordered_;  // it filled the hole in front of held packets
        deliver(packet);
        ++next_;
        DeliverRun(deliver);
        Expire(nowMs, deliver);
        return;
    }
    Slot& slot = SlotOf(sequence);
    if (slot.used) {
        ++dropped_;  // the same number is held already
        return;
    }
    slot.used = true;
    slot.arrivalMs = nowMs;
    slot.packet = packet;
    ++held_;
    // The slot that the window would need next is the one in front of the hole.
    if (held_ >= slots_.size() - 1)
        SkipHole(deliver);
    Expire(nowMs, deliver);
}

void RtpReorderWindow::Rebase(const Deliver& deliver)
{
    candidateHeld_ = false;
    while (held_ > 0)
        SkipHole(deliver);
    const uint16_t sequence = candidate_.GetSequenceNumber();
    if (Distance(sequence, next_) > 0)
        lost_ += static_cast<uint16_t>(sequence - next_);
    next_ = static_cast<uint16_t>(sequence + 1);
    deliver(candidate_);
    candidate_.Clear();
}

void RtpReorderWindow::Expire(uint64_t nowMs, const Deliver& deliver)
{
    while (held_ > 0 && nowMs - std::min(nowMs, OldestArrival()) >= holdMs_)
        SkipHole(deliver);
}

void RtpReorderWindow::DeliverRun(const Deliver& deliver)
{
    while (held_ > 0) {
        Slot& slot = SlotOf(next_);
        if (!slot.used)
            return;
        slot.used = false;
        --held_;
        ++next_;
        deliver(slot.packet);
        slot.packet.Clear();
    }
}

void RtpReorderWindow::SkipHole(const Deliver& deliver)
{
    if (held_ == 0)
        return;
    while (!SlotOf(next_).used) {
        ++next_;
        ++lost_;
    }
    DeliverRun(deliver);
}

uint64_t RtpReorderWindow::OldestArrival() const
{
    uint64_t oldest = std::numeric_limits<uint64_t>::max();
    for (const Slot& slot : slots_)
        if (slot.used)
            oldest = std::min(oldest, slot.arrivalMs);
    return oldest;
}

}  // namespace velkora
