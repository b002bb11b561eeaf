#pragma once

#include <cstddef>
#include <cstdint>

namespace velkora {

// Carries the RTCP handler's reports when RTCP has no UDP port of its own (RTP inside
// the RTSP connection). Called from the handler's thread and from its Close.
class IRTCPPacketSender
{
public:
    virtual ~IRTCPPacketSender() = default;
    // One whole RTCP packet; false when it could not be sent.
    virtual bool SendRTCPPacket(const uint8_t* data, size_t size) = 0;
};

}  // namespace velkora
