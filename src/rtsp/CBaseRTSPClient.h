#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/CBaseThread.h"
#include "foundation/CEvent.h"
#include "rtp/IRTCPPacketSender.h"
#include "rtsp/CInterleavedDemuxer.h"
#include "rtsp/CRTSPResponseParser.h"
#include "rtsp/IRTSPClientUser.h"
#include "rtsp/RTSPSessionSettings.h"

namespace velkora {

// One RTSP/1.0 session over TCP on its own thread, "RTSP Client Thread (<device>)":
// DESCRIBE, SETUP of one UDP media stream, PLAY, OPTIONS as keep-alive and TEARDOWN
// when closed. A 401 is answered once per newly challenged scheme. With the interleaved
// setting RTP and RTCP share the connection ('$' frames): the thread then reads it
// without pause and hands the packets to the user; the RTCP handler's reports go back
// through SendRTCPPacket.
class CBaseRTSPClient : public CBaseThread, public IRTCPPacketSender, private CInterleavedDemuxer::Sink
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
    static constexpr std::size_t kMaxHeaderSize = 64 * 1024;
    static constexpr std::size_t kMaxResponseSize = 256 * 1024;

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
    void CloseSocket();
    bool Exchange(int method);
    bool SendRequest(int method);
    bool ReceiveResponse(int method, std::string& response);
    void KeepAliveCheck();
    bool CallOnDescribe();
    bool CallOnSetup();
    void CallOnSessionClosed();
    void RunInterleaved();
    bool ReceiveInterleavedResponse(int method, std::string& response);
    // Reads whatever the connection has within `waitMs` (at most one wait); false once
    // the connection is closed or its framing is lost.
    bool ReadInterleaved(std::uint32_t waitMs);
    bool SendAll(const char* data, size_t size);
    void OnInterleavedFrame(std::uint8_t channel, const std::uint8_t* data, std::size_t size) override;
    void OnRtspMessage(std::string_view message) override;
    void ReportDrops(bool final);

    CRTSPResponseParser parser_;
    int socket_ = -1;
    std::uint64_t lastKeepAliveMs_ = 0;  // steady clock; 0 = none sent yet
    IRTSPClientUser* user_ = nullptr;
    std::atomic<bool> lastResult_{false};
    RTSPSessionSettings settings_;
    std::atomic<std::uint32_t> receiveTimeoutMs_{5000};  // Close shortens it
    CAutoEvent playRequest_;
    std::atomic<bool> transportRefused_{false};
    std::atomic<bool> playAccepted_{false};
    std::atomic<bool> loginRefused_{false};
    bool basicRefusalReported_ = false;  // said once per client

    // Interleaved transport; the session thread's, except where noted.
    std::mutex sendMutex_;  // requests and RTCP frames are written whole; guards socket_ for them
    std::atomic<std::uint8_t> rtpChannel_{0};
    CInterleavedDemuxer demuxer_{*this};
    std::vector<std::uint8_t> readBuffer_;
    bool awaitingResponse_ = false;
    bool responseReady_ = false;
    std::string pendingResponse_;
    std::uint64_t droppedPackets_ = 0, droppedSinceReport_ = 0, strayFrames_ = 0;
    std::uint64_t lastDropReportMs_ = 0;
};

}  // namespace velkora
