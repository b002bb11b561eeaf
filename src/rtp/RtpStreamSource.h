#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "rtp/CRTPPacket.h"
#include "rtp/RtpSourceProbation.h"

namespace velkora {

// Which datagrams are the stream's: those from the camera's address and, of it, from the
// port the session's negotiation named, or (none named, or nothing came from it) from the
// one other port that passes the probation. Other senders on the camera's host, and forged
// datagrams, never reach frame assembly. Check runs on the packet thread, the rest on the
// owner's and the session's threads.
class RtpStreamSource
{
public:
    enum Verdict
    {
        SourceForeign,   // not from the camera's address
        SourceRefused,   // from the camera's address, not (yet) the stream's port
        SourceAccepted,  // the stream's
        SourceFollowed,  // the stream's, from a port it now follows (this packet passed the probation)
    };

    // Without an address every sender is the stream's (a receiver used on its own).
    void SetAddress(uint32_t address)
    {
        address_ = address;
        filtered_ = true;
    }
    // A new session: over UDP nothing is the camera's until Announce; inside the RTSP
    // connection everything is.
    void Reset(bool interleaved);
    // The negotiation's answer: port 0 names none (a port that passes the probation is then
    // taken); ssrc (wire bytes) 0 names none; payloadType -1 any.
    void Announce(uint16_t port, uint32_t ssrc, int payloadType);
    Verdict Check(const sockaddr_in& from, const CRTPPacket& packet, uint64_t nowMs);
    // The port the negotiation named before the stream followed another one; -1 none.
    int32_t AnnouncedPort() const { return announced_; }
    uint32_t Address() const { return address_; }

private:
    static constexpr int32_t kAnyPort = -1;  // none announced: any port that passes the probation
    static constexpr int32_t kNoPort = -2;   // before the SETUP answer: nothing is the camera's yet
    Verdict TakePort(uint16_t port, const CRTPPacket& packet, uint64_t nowMs);

    uint32_t address_ = 0;  // network order; set before the receiver opens
    bool filtered_ = false;
    std::atomic<bool> interleaved_{false};
    std::atomic<int32_t> port_{kNoPort};
    std::atomic<bool> heard_{false};  // the stream's port has delivered
    std::mutex lock_;
    RtpSourceProbation probation_;  // guarded by lock_
    int32_t announced_ = kAnyPort;  // packet thread
};

}  // namespace velkora
