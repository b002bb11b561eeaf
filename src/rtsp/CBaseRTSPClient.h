#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "foundation/CBaseThread.h"
#include "foundation/CEvent.h"
#include "rtp/IRTCPPacketSender.h"
#include "rtsp/CRTSPResponseParser.h"
#include "rtsp/IRTSPClientUser.h"
#include "rtsp/RTSPSessionSettings.h"
#include "rtsp/RtspConnection.h"
#include "rtsp/RtspInterleavedReader.h"

namespace velkora {

// One RTSP/1.0 session over TCP on its own thread, "RTSP Client Thread (<device>)":
// DESCRIBE, SETUP of one UDP media stream, PLAY, OPTIONS as keep-alive and TEARDOWN
// when closed. A 401 is answered once per newly challenged scheme. With the interleaved
// setting RTP and RTCP share the connection ('$' frames): the thread then reads it
// without pause and hands the packets to the user; the RTCP handler's reports go back
// through SendRTCPPacket. Each exchange has one deadline, the receive time-out from its
// start; Close shortens it so that a running exchange and TEARDOWN end quickly.
class CBaseRTSPClient : public CBaseThread, public IRTCPPacketSender
{
public:
    explicit CBaseRTSPClient(IDebugMessage* owner);
    ~CBaseRTSPClient() override;

    // Connects and starts the session thread; on failure everything is closed again.
    // Fails without effect while a session is open (Close it first).
    bool Open(const RTSPSessionSettings& settings, IRTSPClientUser* user);
    // Stops the thread (TEARDOWN is still sent, briefly awaited) and closes the socket.
    void Close();

    // Result of the last request exchange; a failed keep-alive reads false.
    bool GetLastResult() const { return lastResult_.load(); }
    // Outcome of the session since the last Open: SETUP answered 461 Unsupported
    // Transport; PLAY answered with success.
    bool TransportRefused() const { return transportRefused_.load(); }
    bool PlayAccepted() const { return playAccepted_.load(); }
    // The session ended because the camera refused our credentials (RTSP 401); cleared
    // by Open and Close.
    bool LoginRefused() const { return loginRefused_.load(); }

    // IRTCPPacketSender: a '$' frame on the RTCP channel the SETUP answer named.
    bool SendRTCPPacket(const uint8_t* data, size_t size) override;
    // The SSRC the SETUP answer named (0: none); for the user's OnSetup, on the client's thread.
    std::uint32_t GetServerSsrc() const { return parser_.ServerSsrc(); }

    // Largest header block read, and largest response kept; longer answers fail.
    static constexpr std::size_t kMaxHeaderSize = RtspConnection::kMaxHeaderSize;
    static constexpr std::size_t kMaxResponseSize = RtspConnection::kMaxResponseSize;

protected:
    uint32_t Run() override;
    // The request text for a method (RtspMethod); empty when a value that would go
    // into it carries a line break, so that nothing is sent.
    virtual std::string BuildRequest(int method);

    std::string BaseUrl() const;
    std::string MediaUrl() const;

private:
    bool Connect();
    // One line of the opt-in trace (foundation/Trace.h).
    void Trace(const char* step, const std::string& text);
    bool Exchange(int method);
    bool SendRequest(int method, std::uint64_t deadline);
    void KeepAliveCheck();
    bool CallOnDescribe();
    bool CallOnSetup();
    void CallOnSessionClosed();
    void RunInterleaved();

    CRTSPResponseParser parser_;
    RtspConnection connection_;
    std::uint64_t lastKeepAliveMs_ = 0;  // steady clock; 0 = none sent yet
    IRTSPClientUser* user_ = nullptr;
    std::atomic<bool> lastResult_{false};
    RTSPSessionSettings settings_;
    CAutoEvent playRequest_;
    std::atomic<bool> transportRefused_{false};
    std::atomic<bool> playAccepted_{false};
    std::atomic<bool> loginRefused_{false};
    bool basicRefusalReported_ = false;  // said once per client
    RtspInterleavedReader interleaved_{owner};
};

}  // namespace velkora
