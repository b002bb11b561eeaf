#pragma once

#include <cstdint>

#include "rtp/CRTPPacket.h"

namespace velkora {

// Decides when a camera sends its RTP from a port other than the one it announced
// (embedded servers that send from an ephemeral socket, NAT that rewrites ports): once
// nothing has come from the announced port and one other port of the camera's address
// has delivered well-formed packets of the stream's payload type, of one SSRC and in
// sequence, for a short while, that port is the stream's. Another port interrupting
// starts the probation over, so two senders on the camera's address are never followed.
class RtpSourceProbation
{
public:
    static constexpr uint32_t kPackets = 10;
    static constexpr uint32_t kMilliseconds = 500;

    // payloadType -1: any; ssrc 0: any (the wire bytes, as CRTPPacket::GetSsrc gives them).
    void Reset(int payloadType, uint32_t ssrc);
    // A packet from `port`, which is not the stream's; true when the stream should
    // follow the camera to that port, from this packet on.
    bool Offer(uint16_t port, const CRTPPacket& packet, uint64_t nowMs);

private:
    int payloadType_ = -1;
    uint32_t ssrc_ = 0;
    bool active_ = false;
    uint16_t port_ = 0;
    uint32_t candidateSsrc_ = 0;
    uint16_t lastSequence_ = 0;
    uint32_t count_ = 0;
    uint64_t sinceMs_ = 0;
};

}  // namespace velkora
