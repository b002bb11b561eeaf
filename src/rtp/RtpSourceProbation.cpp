#include "rtp/RtpSourceProbation.h"

namespace velkora {

void RtpSourceProbation::Reset(int payloadType, uint32_t ssrc)
{
    payloadType_ = payloadType;
    ssrc_ = ssrc;
    active_ = false;
    count_ = 0;
}

bool RtpSourceProbation::Offer(uint16_t port, const CRTPPacket& packet, uint64_t nowMs)
{
    const bool fits = (payloadType_ < 0 || packet.GetPayloadType() == payloadType_) &&
                      (ssrc_ == 0 || packet.GetSsrc() == ssrc_) && packet.GetPayloadLength() > 0;
    if (!fits) {
        if (active_ && port == port_)
            active_ = false;  // the candidate sent something that is not the stream
        return false;
    }
    // A few places of reordering do not break the run; anything else starts it over.
    const auto step = static_cast<int16_t>(static_cast<uint16_t>(packet.GetSequenceNumber() - lastSequence_));
    if (!active_ || port != port_ || packet.GetSsrc() != candidateSsrc_ || step == 0 || step > 4 || step < -4) {
        active_ = true;
        port_ = port;
        candidateSsrc_ = packet.GetSsrc();
        lastSequence_ = packet.GetSequenceNumber();
        count_ = 1;
        sinceMs_ = nowMs;
        return false;
    }
    if (step > 0)
        lastSequence_ = packet.GetSequenceNumber();
    ++count_;
    return count_ >= kPackets && nowMs - sinceMs_ >= kMilliseconds;
}

}  // namespace velkora
