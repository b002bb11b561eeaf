#include "rtp/RtpSequenceStatistics.h"

namespace velkora {

namespace {
constexpr uint32_t kSequenceModulo = 65536;
constexpr uint32_t kMaxDropout = 3000;
constexpr uint32_t kMaxMisorder = 100;
}  // namespace

void RtpSequenceStatistics::Init(uint16_t sequence)
{
    maxSequence = sequence;
    baseSequence = static_cast<uint32_t>(sequence) - 1;
    badSequence = kSequenceModulo + 1;
    cycles = 0;
}

void RtpSequenceStatistics::Update(uint16_t sequence)
{
    const uint16_t delta = static_cast<uint16_t>(sequence - maxSequence);
    if (probation > 0) {
        if (sequence == static_cast<uint16_t>(maxSequence + 1)) {
            --probation;
            maxSequence = sequence;
            if (probation == 0)
                Init(sequence);
        } else {
            probation = 1;
            maxSequence = sequence;
        }
    } else if (delta < kMaxDropout) {
        if (sequence < maxSequence)
            cycles += kSequenceModulo;  // wrapped
        maxSequence = sequence;
    } else if (delta <= kSequenceModulo - kMaxMisorder) {
        // A large jump: accepted only when the next packet confirms it.
        if (sequence == badSequence) {
            Init(sequence);
        } else {
            badSequence = (uint32_t{sequence} + 1) % kSequenceModulo;
        }
    }
    // Otherwise a duplicate or a reordered packet: nothing changes.
}

}  // namespace velkora
