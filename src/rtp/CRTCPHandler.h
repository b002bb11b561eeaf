#pragma once

#include <netinet/in.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "foundation/CBaseThread.h"
#include "foundation/CEvent.h"
#include "foundation/CRecursiveLock.h"
#include "rtp/CUDPClient.h"
#include "rtp/IInterleavedPacketSink.h"
#include "rtp/IRTCPHandlerUser.h"
#include "rtp/IRTCPPacketSender.h"
#include "rtp/IRTPClient.h"
#include "rtp/RtpSequenceStatistics.h"

namespace velkora {

// RTCP side of one stream on the RTCP port ("RTCP Handler Thread"): answers each sender
// report of the camera with one receiver report, sends BYE on close and reports the
// camera's BYE. Nothing is sent before the first SR.
class CRTCPHandler : private CBaseThread, public IRTPClientUser, public IInterleavedPacketSink
{
public:
    static constexpr size_t kReceiverReportSize = 32;
    static constexpr size_t kByeSize = 8;

    explicit CRTCPHandler(IDebugMessage* owner);
    ~CRTCPHandler() override;

    void SetUser(IRTCPHandlerUser* user) { user_ = user; }
    // cameraAddress in network order, non-zero.
    bool Open(in_addr_t cameraAddress, uint16_t port);
    // RTCP inside the RTSP connection: no socket; reports go out through `sender`, which
    // must stay valid until Close.
    bool OpenInterleaved(IRTCPPacketSender& sender);
    // One compound RTCP packet that arrived inside the RTSP connection; never refused.
    bool OnInterleavedPacket(const uint8_t* data, size_t length) override;
    void Close();
    // Every accepted RTP packet's sequence number.
    void NoteSequence(uint16_t sequence);
    // Once set (non-zero), only datagrams from this source port of the camera count.
    void SetPeerPort(uint16_t port) { peerPort_ = port; }
    // For a camera whose port is not known (its RTP came from an unannounced port): the
    // first compound packet from the camera's address that names this SSRC (the four
    // wire bytes) fixes the port.
    void FollowPeer(uint32_t ssrc)
    {
        followSsrc_ = ssrc;
        peerPort_ = 0;
    }
    uint16_t GetPort() { return udpClient_.GetPort(); }

    void OnDataReceived(IRTPClient* client, const sockaddr_in& from, const uint8_t* data, size_t length) override;
    void OnReceiveTimeout(IRTPClient*) override {}
    void OnClientClosed(IRTPClient*) override {}

    // Delay since the last SR in units of 1/65536 s, from millisecond clock readings.
    static uint32_t ComputeDlsr(uint32_t srArrivalMs, uint32_t nowMs);

protected:
    uint32_t Run() override;

private:
    void ResetState();
    void ReadCompound(const sockaddr_in& from, const uint8_t* data, size_t length);
    void BuildReceiverReport(uint8_t (&report)[kReceiverReportSize]);
    bool Send(const uint8_t* data, size_t length);

    CUDPClient udpClient_;
    std::atomic<in_addr_t> cameraAddress_{0};
    std::atomic<uint16_t> peerPort_{0};
    std::atomic<uint32_t> followSsrc_{0};
    IRTCPHandlerUser* user_ = nullptr;
    std::atomic<IRTCPPacketSender*> sender_{nullptr};
    CAutoEvent sendEvent_;
    CRecursiveLock lock_;
    // Guarded by lock_:
    bool peerKnown_ = false;
    bool sequenceStarted_ = false;
    sockaddr_in peerAddress_{};
    uint32_t srArrival_ = 0;
    uint8_t versionBits_ = 0;
    RtpSequenceStatistics statistics_;
    std::array<uint8_t, 4> ownSsrc_{};
    std::array<uint8_t, 4> sourceSsrc_{};
    std::array<uint8_t, 4> lsr_{};
};

}  // namespace velkora
