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

// The channel layer that receives RTP over UDP: port-pair search, source check, frame
// times, and the capture loop that starts, watches and restarts the stream. How a stream
// is negotiated is left to the layers above through the Start/Stop/Prepare hooks.
class CBaseRTPChannel : public CBaseCameraChannel,
                        public IRTCPHandlerUser,
                        public IRTPReceiverUser,
                        public IMediaParserClient {
public:
    CBaseRTPChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IHostChannelSink* sink);
    ~CBaseRTPChannel() override;

    // IRTPReceiverUser (on the receiver's queue thread)
    void OnRTPPacket(const sockaddr_in& from, const CRTPPacket& packet) override;
    void OnRTPTimeout() override {}
    void OnRTPClosed() override {}

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
    // 0 leaves RTP to the port of the first packet from the camera and RTCP open.
    void SetCameraPorts(uint16_t rtpPort, uint16_t rtcpPort);

    // First and last port of the RTP port-pair search (even ports, RTCP on port + 1).
    static constexpr uint16_t kFirstRtpPort = 3556;
    static constexpr uint16_t kPortLimit = 4556;

protected:
    uint32_t Run() override;

    virtual bool StartStream() = 0;       // slot 13
    virtual void StopStream();            // slot 14
    virtual bool PrepareStream() = 0;     // slot 15
    virtual bool IsStreamAlive();         // slot 16
    virtual void ProcessRTPPacket(const CRTPPacket& packet) = 0;  // slot 17
    virtual void KeepAlive() {}           // slot 18

    // Finds a quiet even port pair and opens the receiver and the RTCP handler on it.
    bool OpenRtpPorts();
    bool IsStopping() { return stopEvent.IsSet(); }

    uint32_t keepAliveInterval = 90000;
    CTime keepAliveTimer;
    uint32_t cameraAddress = 0;  // network order; 0 when the host does not resolve
    std::string frameSourceName;  // packet thread only; refilled per frame, its storage reused
    CTimeStampConverter converter;
    CRTPReceiver receiver;
    CRTCPHandler rtcpHandler;
    CManualEvent packetEvent;
    CManualEvent frameEvent;
    CManualEvent byeEvent;
    CManualEvent sessionEvent;

private:
    bool RestartStream();

    CRecursiveLock deliveryLock;  // orders a frame's online report against Stop
    // Other senders on the camera's host (or forged datagrams) must not reach frames.
    static constexpr int32_t kAnySourcePort = -1;
    std::atomic<int32_t> rtpSourcePort{kAnySourcePort};
    void ReportSignalLost();
};

}  // namespace velkora
