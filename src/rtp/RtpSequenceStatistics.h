#pragma once

#include <cstdint>

namespace velkora {

// RTP sequence-number tracking of RFC 3550 appendix A.1 (MAX_DROPOUT 3000,
// MAX_MISORDER 100): the extended highest sequence number a receiver report carries.
struct RtpSequenceStatistics {
    uint16_t maxSequence = 0;
    uint32_t cycles = 0;        // wrap count x 65536
    uint32_t baseSequence = 0;  // first sequence number - 1
    uint32_t badSequence = 0;
    uint32_t probation = 0;

    void Init(uint16_t sequence);
    void Update(uint16_t sequence);
    uint32_t ExtendedHighest() const { return cycles + maxSequence; }
};

}  // namespace velkora
