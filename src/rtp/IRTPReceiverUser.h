#pragma once

#include <netinet/in.h>

namespace velkora {

class CRTPPacket;

// Implemented by the RTP channel; called on the receiver's queue thread.
class IRTPReceiverUser
{
public:
    virtual ~IRTPReceiverUser() = default;
    // One packet in arrival order; both arguments are freed when the call returns.
    virtual void OnRTPPacket(const sockaddr_in& from, const CRTPPacket& packet) = 0;
    virtual void OnRTPTimeout() = 0;
    virtual void OnRTPClosed() = 0;
};

}  // namespace velkora
