#pragma once

namespace velkora {

// Implemented by the RTP channel.
class IRTCPHandlerUser
{
public:
    virtual ~IRTCPHandlerUser() = default;
    // The camera sent a BYE; called on the RTCP UDP client's thread.
    virtual void OnRTCPBye() = 0;
};

}  // namespace velkora
