#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include "channels/CBaseCameraChannel.h"
#include "foundation/CEvent.h"
#include "foundation/CTime.h"
#include "media/IMediaParserClient.h"
#include "rtp/CRTCPHandler.h"
#include "rtp/CRTPReceiver.h"
#include "rtp/CTimeStampConverter.h"

namespace velkora {

// The channel layer that receives RTP over UDP: port-pair search, frame times, and the
// capture loop that starts, watches and restarts the stream. The receiver hands it only
// the stream's packets, in sequence order. How a stream is negotiated is left to the
// layers above through the Start/Stop/Prepare hooks.
class CBaseRTPChannel : public CBaseCameraChannel,
                        public IRTCPHandlerUser,
                        public IRTPReceiverUser,
                        public IMediaParserClient
{
public:
    CBaseRTPChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IHostChannelSink* sink);
    ~CBaseRTPChannel() override;

    // IRTPReceiverUser (on the receiver's queue thread)
    void OnRTPPacket(const sockaddr_in& from, const CRTPPacket& packet) override;
    void OnRTPTimeout() override {}
    void OnRTPClosed() override {}
    void OnRTPSourceFollowed(uint16_t port, uint32_t ssrc, int32_t announced) override;

    // IRTCPHandlerUser (on the RTCP socket's thread)
    void OnRTCPBye() override;

    // IMediaParserClient (inside ProcessRTPPacket)
    bool OnFrame(ipcapture::IHostFrame* frame) override;
    std::pair<uint16_t, uint16_t> GetChannelPair() override;
    const std::string& GetFrameSourceName() override;
    void GetFrameTime(uint32_t rtpTimestamp, SYSTEMTIME& frameTime) override;

    // Ends frame delivery before the camera is reported offline, so that a frame
    // completing during the stop cannot report it online again.
    void Stop() override;

    uint32_t GetCameraAddress() const { return cameraAddress; }

    // The camera's RTP and RTCP source ports as the stream's negotiation stated them;
    // 0 leaves RTP to a port of the camera that passes the receiver's source probation,
    // and RTCP open. ssrc: the one the negotiation named (0: none), which a camera
    // followed to another port must send.
    void SetCameraPorts(uint16_t rtpPort, uint16_t rtcpPort, uint32_t ssrc = 0);
    // The RTP payload type the stream's description announced; -1 when unknown.
    void SetPayloadType(int payloadType) { payloadType_ = payloadType; }

protected:
    uint32_t Run() override;

    virtual bool StartStream() = 0;                               // slot 13
    virtual void StopStream();                                    // slot 14
    virtual bool PrepareStream() = 0;                             // slot 15
    virtual bool IsStreamAlive();                                 // slot 16
    virtual void ProcessRTPPacket(const CRTPPacket& packet) = 0;  // slot 17
    virtual void KeepAlive() {}                                   // slot 18
    // What refused our credentials when the last start attempt failed ("RTSP 401", ...);
    // empty when the failure (if any) was something else.
    virtual std::string LoginRefusal() { return {}; }

    // Finds a quiet even port pair (rtp/RtpPortRange.h) and opens the receiver and the RTCP handler on it.
    bool OpenRtpPorts();
    // Opens the receiver and the RTCP handler for RTP inside the RTSP connection: no
    // port, no quiet-port wait; RTCP reports go out through `sender`.
    bool OpenInterleavedReceiver(IRTCPPacketSender& sender);
    bool IsStopping() { return stopEvent.IsSet(); }

    uint32_t keepAliveInterval = 90000;
    CTime keepAliveTimer;
    uint32_t cameraAddress = 0;   // network order; 0 when the host does not resolve
    std::string frameSourceName;  // packet thread only
    CTimeStampConverter converter;
    CRTPReceiver receiver;
    CRTCPHandler rtcpHandler;
    CManualEvent packetEvent;
    CManualEvent frameEvent;
    CManualEvent byeEvent;
    CManualEvent sessionEvent;

private:
    static constexpr uint32_t kLoginBackOffFirstMs = 2000;
    static constexpr uint32_t kLoginBackOffMaxMs = 60000;
    bool RestartStream();

    CRecursiveLock deliveryLock;  // orders a frame's online report against Stop
    void ReportSignalLost();

    std::atomic<int> payloadType_{-1};
    bool sourceFollowReported = false;           // packet thread; said once per channel
    std::atomic<bool> firstPacketTraced{false};  // per start, for the opt-in trace
};

}  // namespace velkora
