#pragma once

#include "channels/CBaseRTPChannel.h"
#include "rtsp/CBaseRTSPClient.h"
#include "rtsp/IRTSPClientUser.h"
#include "rtsp/RTSPSessionSettings.h"

namespace velkora {

// The channel layer that negotiates the stream over RTSP (RTP over UDP unicast on the
// port pair the RTP layer found) and treats a failed keep-alive as a lost stream.
class CBaseRTSPChannel : public CBaseRTPChannel, public IRTSPClientUser {
public:
    CBaseRTSPChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IHostChannelSink* sink);
    ~CBaseRTSPChannel() override;

    // IRTSPClientUser (on the RTSP client's thread)
    void OnRTCPBye() override { CBaseRTPChannel::OnRTCPBye(); }
    void OnRTPPacket(const CRTPPacket& packet) override;
    void OnSetup(uint16_t serverRtpPort, uint16_t serverRtcpPort) override
    {
        driver->DebugMessage(DebugTrace, "%s: the camera sends from UDP %u (RTP) and %u (RTCP)",
                             "velkora::CBaseRTSPChannel::OnSetup", unsigned{serverRtpPort}, unsigned{serverRtcpPort});
        SetCameraPorts(serverRtpPort, serverRtcpPort, rtspClient.GetServerSsrc());
    }
    void OnSessionClosed() override;
    using CBaseRTPChannel::OnRTPPacket;

protected:
    bool StartStream() override;
    void StopStream() override;
    bool IsStreamAlive() override;
    virtual void FillSessionSettings(RTSPSessionSettings& settings) = 0;  // slot 19

    CBaseRTSPClient rtspClient;
};

}  // namespace velkora
