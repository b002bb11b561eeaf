#pragma once

#include <netinet/in.h>

#include <cstdint>

namespace velkora {

class CRTPPacket;

// Implemented by the RTP channel; called on the receiver's queue thread.
class IRTPReceiverUser
{
public:
    virtual ~IRTPReceiverUser() = default;
    // One packet of the stream, in sequence order; both arguments are freed when the call returns.
    virtual void OnRTPPacket(const sockaddr_in& from, const CRTPPacket& packet) = 0;
    virtual void OnRTPTimeout() = 0;
    virtual void OnRTPClosed() = 0;
    // The stream now comes from `port` of the camera's address, with this SSRC (wire
    // bytes); `announced`: the port the negotiation named, -1 none. Before its first packet.
    virtual void OnRTPSourceFollowed(uint16_t /*port*/, uint32_t /*ssrc*/, int32_t /*announced*/) {}
};

}  // namespace velkora
