#pragma once

#include <atomic>

#include "channels/CBaseRTPChannel.h"
#include "rtsp/CBaseRTSPClient.h"
#include "foundation/MethodName.h"
#include "rtsp/IRTSPClientUser.h"
#include "rtsp/RTSPSessionSettings.h"

namespace velkora {

// Its messages' origin; in the header, where the inline OnSetup needs it too.
constexpr char kBaseRtspChannelClassName[] = "CBaseRTSPChannel";

// The channel layer that negotiates the stream over RTSP and treats a failed keep-alive
// as a lost stream. RTP travels over UDP unicast on the port pair the RTP layer found, or
// inside the RTSP connection: always, or (the default) once UDP proved not to reach us.
class CBaseRTSPChannel : public CBaseRTPChannel, public IRTSPClientUser
{
public:
    CBaseRTSPChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IHostChannelSink* sink);
    ~CBaseRTSPChannel() override;

    // IRTSPClientUser (on the RTSP client's thread)
    void OnRTCPBye() override { CBaseRTPChannel::OnRTCPBye(); }
    void OnRTPPacket(const CRTPPacket& packet) override;
    void OnSetup(uint16_t serverRtpPort, uint16_t serverRtcpPort) override
    {
        driver->DebugMessage(DebugTrace, "%s: the camera sends from UDP %u (RTP) and %u (RTCP)",
                             MethodName(kBaseRtspChannelClassName, "OnSetup").c_str(), unsigned{serverRtpPort},
                             unsigned{serverRtcpPort});
        SetCameraPorts(serverRtpPort, serverRtcpPort, rtspClient.GetServerSsrc());
    }
    void OnSessionClosed() override;
    using CBaseRTPChannel::OnRTPPacket;

    // Whether the current (or last) start carries RTP inside the RTSP connection.
    bool IsInterleaved() const { return interleaved; }

protected:
    uint32_t Run() override;
    bool StartStream() override;
    void StopStream() override;
    bool IsStreamAlive() override;
    virtual void FillSessionSettings(RTSPSessionSettings& settings) = 0;  // slot 19
    std::string LoginRefusal() override { return rtspClient.LoginRefused() ? "RTSP 401" : ""; }

    CBaseRTSPClient rtspClient;

private:
    bool ChooseInterleaved() const;
    // After a start on UDP: switches the stream to TCP when UDP did not work.
    void NoteUdpOutcome();

    std::atomic<bool> interleaved{false};    // the transport of this start
    std::atomic<bool> switchedToTcp{false};  // UDP failed; TCP until the stream is closed
};

}  // namespace velkora
