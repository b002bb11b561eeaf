#include "rtp/RtpStreamSource.h"

namespace velkora {

void RtpStreamSource::Reset(bool interleaved)
{
    interleaved_ = interleaved;
    port_ = kNoPort;
    heard_ = false;
}

void RtpStreamSource::Announce(uint16_t port, uint32_t ssrc, int payloadType)
{
    {
        std::lock_guard guard(lock_);
        probation_.Reset(payloadType, ssrc);
    }
    heard_ = false;
    // Without a named port the first datagrams must pass the probation too, so that a
    // stranger on the camera's address cannot claim the stream by sending first.
    port_ = port != 0 ? int32_t{port} : kAnyPort;
}

RtpStreamSource::Verdict RtpStreamSource::Check(const sockaddr_in& from, const CRTPPacket& packet, uint64_t nowMs)
{
    if (!filtered_)
        return SourceAccepted;
    if (from.sin_addr.s_addr != address_)
        return SourceForeign;
    if (interleaved_)
        return SourceAccepted;  // the connection is the camera's own
    const uint16_t port = ntohs(from.sin_port);
    if (port != port_)
        return TakePort(port, packet, nowMs);
    if (!heard_)
        heard_ = true;
    return SourceAccepted;
}

RtpStreamSource::Verdict RtpStreamSource::TakePort(uint16_t port, const CRTPPacket& packet, uint64_t nowMs)
{
    if (heard_ || port_ == kNoPort)
        return SourceRefused;  // the stream's port delivers, or the SETUP answer is still to come
    std::lock_guard guard(lock_);
    const int32_t announced = port_;
    if (!probation_.Offer(port, packet, nowMs))
        return SourceRefused;
    announced_ = announced;
    port_ = port;
    heard_ = true;
    return SourceFollowed;
}

}  // namespace velkora
